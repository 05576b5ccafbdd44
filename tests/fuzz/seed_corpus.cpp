// Writes the starting corpus of one fuzz target: seed_writer TARGET FOLDER.
#include <fstream>
#include <string>
#include <vector>

#include "support/zip_builder.h"
#include "zip/zip_test_util.h"

using namespace torv::test;

namespace {

using namespace std::string_literals;

// Small archives covering the format's features and the ways streams end oddly.
std::vector<std::string> archives() {
    ZipBuilder mixed;
    mixed.prefix = "#!/bin/sh\nexit 0\n";
    mixed.add("mission.mn3", noise(3000), 0);
    mixed.add("level1.d3l", levelText(5000));
    mixed.add("empty/", "", 0);
    mixed.add("a.txt", levelText(2000)).dataDescriptor = true;
    mixed.add("b.bin", noise(1500), 0).dataDescriptor = true;
    mixed.comment = "mission pack";

    ZipBuilder odd;
    odd.add(std::string("nul\0name", 8), "x", 0);
    odd.add("method12.bz2", "data", 12);
    odd.add("extra.txt", levelText(800)).localExtra = std::string(20, 'e');
    odd.entries.back().extra = "UT\x05\x00\x01\x00\x00\x00\x00"s;
    odd.add("stored-blocks", noise(1200)).payload = rawDeflate(noise(1200), 0);

    ZipBuilder ends;
    ends.add("k3072", noise(3072), 0);
    ends.add("zero", "", 8);
    ends.add("open-end", noise(1000)).payload = "\x00\xE8\x03\x17\xFC"s + noise(1000);
    ends.add("k2048", levelText(2048)).uncompressedSize = 1024;
    ends.add("long", levelText(4000)).uncompressedSize = 5000;
    ends.add("big", levelText(20000));
    return {mixed.build(), odd.build(), ends.build(), ZipBuilder().build()};
}

std::vector<std::string> seedsOf(const std::string& target) {
    if (target == "zip") {
        return archives();
    }
    if (target == "scan") {
        return {
            "\x01\x02URL http://a/b/c.zip\ndata"s,
            "intro\nget http://a/b/ now\nx\ny\nmirror http://c/d/e.zip\n"s,
            "UURL http://a/b/\nURURL http://c/\nUUURL http://d/e/\n"s,
            "URL none\nURL HTTP://A/B/ http://Site/Path/x\r\n\0URL"s,
            "URL" + std::string(1030, 'x') + "URL http://far/away/\n",
            "Get it at HTTP://a/ or http://Sites/Levels/pack.zip\nsee http://a/b/ and c/d\nhttp://a"s,
        };
    }
    if (target == "tokens") {
        return {
            "TORV -getmission btc.mn3 -rund3 -directip 192.168.0.100 -nointro -launched"s,
            "\"C:\\Program Files\\torv.exe\" /GETMISSION \"my level.mn3\" /RUND3"s,
            "a \"\" b \"a b\"c ab\"cd \"unterminated quote"s,
            "/usr/bin/torv\0-getmission\0btc\0-rund3"s,
            "   leading and trailing blanks   "s,
            std::string(300, 'x') + " " + std::string(40, ' ') + "y",
        };
    }
    return {
        "\"libraryfolders\"\n{\n\t\"0\"\n\t{\n\t\t\"path\"\t\t\"/home/p/.local/share/Steam\"\n"
        "\t\t\"apps\"\n\t\t{\n\t\t\t\"273590\"\t\t\"123\"\n\t\t}\n\t}\n}\n"s,
        "\"LibraryFolders\"\n{\n\t\"TimeNextStatsReport\"\t\t\"1\"\n\t\"1\"\t\t\"D:\\\\Steam\"\n}\n"s,
        "\"AppState\"\n{\n\t\"appid\"\t\t\"273590\"\n\t\"installdir\"\t\t\"Descent 3\"\n}\n"s,
        "// comment\nkey value [$WIN32]\n\"a\" { \"b\" \"c\\\"d\\n\\q\" }\n"s,
        "\xEF\xBB\xBF\"a\" \"\""s,
        "\"a\" { \"b\" { \"c\" { \"d\" { \"e\" { \"f\" { \"g\" { \"h\" \"1\" } } } } } } }"s,
        "\"unterminated"s,
        "}{"s,
    };
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        return 2;
    }
    int index = 0;
    for (const std::string& seed : seedsOf(argv[1])) {
        std::ofstream out(std::string(argv[2]) + "/seed" + std::to_string(index++),
                          std::ios::binary);
        if (!(out << seed)) {
            return 1;
        }
    }
    return 0;
}
