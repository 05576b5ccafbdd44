// Writes Steam library listings, app manifests and odd KeyValues texts into the given folder.
#include <fstream>
#include <string>

int main(int argc, char** argv) {
    if (argc != 2)
        return 2;
    const std::string seeds[] = {
        "\"libraryfolders\"\n{\n\t\"0\"\n\t{\n\t\t\"path\"\t\t\"/home/p/.local/share/Steam\"\n"
        "\t\t\"apps\"\n\t\t{\n\t\t\t\"273590\"\t\t\"123\"\n\t\t}\n\t}\n}\n",
        "\"LibraryFolders\"\n{\n\t\"TimeNextStatsReport\"\t\t\"1\"\n\t\"1\"\t\t\"D:\\\\Steam\"\n}"
        "\n",
        "\"AppState\"\n{\n\t\"appid\"\t\t\"273590\"\n\t\"installdir\"\t\t\"Descent 3\"\n}\n",
        "// comment\nkey value [$WIN32]\n\"a\" { \"b\" \"c\\\"d\\n\\q\" }\n",
        "\xEF\xBB\xBF\"a\" \"\"",
        "\"a\" { \"b\" { \"c\" { \"d\" { \"e\" { \"f\" { \"g\" { \"h\" \"1\" } } } } } } }",
        "\"unterminated",
        "}{",
    };
    int index = 0;
    for (const std::string& seed : seeds) {
        std::ofstream(std::string(argv[1]) + "/seed" + std::to_string(index++), std::ios::binary)
            << seed;
    }
    return 0;
}
