// Writes the starting corpus of fuzz_scan: small files with markers, lines and URLs.
#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 2) {
        return 2;
    }
    using namespace std::string_literals;
    const std::vector<std::string> seeds{
        "\x01\x02URL http://a/b/c.zip\ndata"s,
        "intro\nget http://a/b/ now\nx\ny\nmirror http://c/d/e.zip\n"s,
        "UURL http://a/b/\nURURL http://c/\nUUURL http://d/e/\n"s,
        "URL none\nURL HTTP://A/B/ http://Site/Path/x\r\n\0URL"s,
        "URL" + std::string(1030, 'x') + "URL http://far/away/\n",
        "Get it at HTTP://a/ or http://Sites/Levels/pack.zip\nsee http://a/b/ and c/d\nhttp://a"s,
    };
    for (std::size_t i = 0; i < seeds.size(); ++i) {
        const std::string path = std::string(argv[1]) + "/seed" + std::to_string(i);
        std::FILE* file = std::fopen(path.c_str(), "wb");
        if (file == nullptr) {
            return 1;
        }
        std::fwrite(seeds[i].data(), 1, seeds[i].size(), file);
        if (std::fclose(file) != 0) {
            return 1;
        }
    }
    return 0;
}
