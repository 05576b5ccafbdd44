// Writes command lines of every shape the splitter knows into the given folder.
#include <fstream>
#include <string>

int main(int argc, char** argv) {
    if (argc != 2)
        return 2;
    const std::string seeds[] = {
        "TORV -getmission btc.mn3 -rund3 -directip 192.168.0.100 -nointro -launched",
        "\"C:\\Program Files\\torv.exe\" /GETMISSION \"my level.mn3\" /RUND3",
        "a \"\" b",
        "\"a b\"c",
        "ab\"cd \"unterminated quote",
        std::string("/usr/bin/torv\0-getmission\0btc\0-rund3", 36),
        "   leading and trailing blanks   ",
        std::string(300, 'x') + " " + std::string(40, ' ') + "y",
    };
    int index = 0;
    for (const std::string& seed : seeds) {
        std::ofstream(std::string(argv[1]) + "/seed" + std::to_string(index++), std::ios::binary)
            << seed;
    }
    return 0;
}
