#include <QString>

#include <gtest/gtest.h>

#include <ostream>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "app/MissionExtraction.h"
#include "app/recording_log.h"
#include "support/temp_dir.h"
#include "support/zip_builder.h"

namespace torv::test {
namespace {

namespace fs = std::filesystem;

// Every regular file and link below root, relative to it, with its content (a link shows as
// "-> <target>"), except the archive itself.
std::map<std::string, std::string> treeOf(const std::string& root, const std::string& archive) {
    std::map<std::string, std::string> tree;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        if (e.path() == archive || (e.is_directory() && !e.is_symlink())) {
            continue;
        }
        const std::string rel = fs::relative(e.path(), root).string();
        tree[rel] = e.is_symlink() ? "-> " + fs::read_symlink(e.path()).string()
                                   : TempDir::read(e.path().string());
    }
    return tree;
}

std::string bytes(size_t size) {
    std::string s(size, '\0');
    for (size_t i = 0; i < size; ++i) {
        s[i] = char(i * 31 + 7);
    }
    return s;
}

struct ExtractionCase {
    const char* name;
    // Builds the archive; root is the folder that holds "missions".
    std::string (*archive)(const std::string& root);
    void (*prepare)(const std::string& root);
    // "{archive}" stands for the archive's path.
    std::vector<std::string> lines;
    std::map<std::string, std::string> tree;  // what root holds afterwards
};

void PrintTo(const ExtractionCase& c, std::ostream* os) {
    *os << c.name;
}

void nothing(const std::string&) {}

void olderGoodFile(const std::string& r) {
    std::FILE* f = std::fopen((r + "/missions/btc.mn3").c_str(), "wb");
    std::fputs("older good mission", f);
    std::fclose(f);
}

class Extraction : public ::testing::TestWithParam<ExtractionCase> {};

TEST_P(Extraction, WritesWhatIsSafeAndLogsExactly) {
    const auto& c = GetParam();
    TempDir root;
    fs::create_directory(root.file("missions"));
    c.prepare(root.path());
    const std::string archive = root.file("missions/btc.zip");
    root.write("missions/btc.zip", c.archive(root.path()));

    RecordingLog log;
    EXPECT_TRUE(ExtractMission(log, QString::fromStdString(archive),
                               QString::fromStdString(root.file("missions/"))));

    QStringList expected;
    for (std::string line : c.lines) {
        if (auto at = line.find("{archive}"); at != std::string::npos) {
            line.replace(at, 9, archive);
        }
        if (auto at = line.find("{root}"); at != std::string::npos) {
            line.replace(at, 6, root.path());
        }
        expected.push_back(QString::fromStdString(line));
    }
    EXPECT_EQ(log.lines, expected);
    EXPECT_EQ(treeOf(root.path(), archive), c.tree);
}

std::string zipOf(std::vector<std::pair<std::string, std::string>> entries) {
    ZipBuilder b;
    for (auto& [name, data] : entries) {
        b.add(name, data);
    }
    return b.build();
}

INSTANTIATE_TEST_SUITE_P(
    Archives, Extraction,
    ::testing::Values(
        ExtractionCase{"TwoEntriesInDirectoryOrder",
                       [](const std::string&) {
                           return zipOf({{"readme.txt", "read me"}, {"btc.mn3", "mission"}});
                       },
                       nothing,
                       {"Unzipped File: [readme.txt].", "Unzipped File: [btc.mn3]."},
                       {{"missions/readme.txt", "read me"}, {"missions/btc.mn3", "mission"}}},
        ExtractionCase{"OtherMissionOnly",
                       [](const std::string&) {
                           return zipOf({{"other.mn3", "other"}});
                       },
                       nothing,
                       {"Unzipped File: [other.mn3]."},
                       {{"missions/other.mn3", "other"}}},
        ExtractionCase{"FolderPathWithoutFolder",
                       [](const std::string&) {
                           return zipOf({{"levels/btc.mn3", "m"}});
                       },
                       nothing,
                       {},
                       {}},
        ExtractionCase{"FolderPathWithFolder",
                       [](const std::string&) {
                           return zipOf({{"levels/btc.mn3", "m"}});
                       },
                       [](const std::string& r) { fs::create_directory(r + "/missions/levels"); },
                       {"Unzipped File: [levels/btc.mn3]."},
                       {{"missions/levels/btc.mn3", "m"}}},
        ExtractionCase{"BackslashIsSeparator",
                       [](const std::string&) {
                           return zipOf({{"levels\\btc.mn3", "m"}});
                       },
                       [](const std::string& r) { fs::create_directory(r + "/missions/levels"); },
                       {"Unzipped File: [levels\\btc.mn3]."},
                       {{"missions/levels/btc.mn3", "m"}}},
        ExtractionCase{"FolderEntrySkippedSilently",
                       [](const std::string&) {
                           return zipOf({{"levels/", ""}, {"btc.mn3", "m"}});
                       },
                       nothing,
                       {"Unzipped File: [btc.mn3]."},
                       {{"missions/btc.mn3", "m"}}},
        ExtractionCase{"ExistingFileOverwritten",
                       [](const std::string&) {
                           return zipOf({{"btc.mn3", "new"}});
                       },
                       olderGoodFile,
                       {"Unzipped File: [btc.mn3]."},
                       {{"missions/btc.mn3", "new"}}},
        ExtractionCase{"EntryOfTwoFullSteps",
                       [](const std::string&) {
                           ZipBuilder b;
                           b.add("btc.mn3", bytes(2048), 0);
                           return b.build();
                       },
                       nothing,
                       {"Unzipped File: [btc.mn3]."},
                       {{"missions/btc.mn3", bytes(2048)}}},
        ExtractionCase{"LargeDeflatedEntry",
                       [](const std::string&) {
                           return zipOf({{"btc.mn3", bytes(300'001)}});
                       },
                       nothing,
                       {"Unzipped File: [btc.mn3]."},
                       {{"missions/btc.mn3", bytes(300'001)}}},
        ExtractionCase{"EmptyEntry",
                       [](const std::string&) {
                           return zipOf({{"empty.txt", ""}});
                       },
                       nothing,
                       {"Unzipped File: [empty.txt]."},
                       {{"missions/empty.txt", ""}}},
        ExtractionCase{"EmptyFileIsNoArchive",
                       [](const std::string&) { return std::string(); },
                       nothing,
                       {},
                       {}},
        ExtractionCase{
            "HtmlPageIsNoArchive",
            [](const std::string&) { return std::string("<html><body>Not here</body></html>"); },
            nothing,
            {},
            {}}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------

INSTANTIATE_TEST_SUITE_P(
    UnsafeNames, Extraction,
    ::testing::Values(
        ExtractionCase{
            "ParentSlash",
            [](const std::string&) {
                return zipOf({{"../escaped.txt", "x"}, {"btc.mn3", "m"}});
            },
            nothing,
            {"WARNING: Skipped unsafe file name [../escaped.txt].", "Unzipped File: [btc.mn3]."},
            {{"missions/btc.mn3", "m"}}},
        ExtractionCase{"ParentBackslash",
                       [](const std::string&) {
                           return zipOf({{"..\\escaped.txt", "x"}});
                       },
                       nothing,
                       {"WARNING: Skipped unsafe file name [..\\escaped.txt]."},
                       {}},
        ExtractionCase{"ParentDeepInside",
                       [](const std::string&) {
                           return zipOf({{"levels/../../escaped.txt", "x"}});
                       },
                       [](const std::string& r) { fs::create_directory(r + "/missions/levels"); },
                       {"WARNING: Skipped unsafe file name [levels/../../escaped.txt]."},
                       {}},
        ExtractionCase{"ParentAlone",
                       [](const std::string&) {
                           return zipOf({{"..", "x"}});
                       },
                       nothing,
                       {"WARNING: Skipped unsafe file name [..]."},
                       {}},
        ExtractionCase{"AbsolutePath",
                       [](const std::string& r) {
                           return zipOf({{r + "/escaped.txt", "x"}});
                       },
                       nothing,
                       {"WARNING: Skipped unsafe file name [{root}/escaped.txt]."},
                       {}},
        ExtractionCase{"UncPrefix",
                       [](const std::string&) {
                           return zipOf({{"\\\\server\\share\\escaped.txt", "x"}});
                       },
                       nothing,
                       {"WARNING: Skipped unsafe file name [\\\\server\\share\\escaped.txt]."},
                       {}},
        ExtractionCase{"DrivePrefix",
                       [](const std::string&) {
                           return zipOf({{"C:\\escaped.txt", "x"}});
                       },
                       nothing,
                       {"WARNING: Skipped unsafe file name [C:\\escaped.txt]."},
                       {}},
        ExtractionCase{"DriveRelative",
                       [](const std::string&) {
                           return zipOf({{"c:escaped.txt", "x"}});
                       },
                       nothing,
                       {"WARNING: Skipped unsafe file name [c:escaped.txt]."},
                       {}},
        ExtractionCase{"EmptyName",
                       [](const std::string&) {
                           return zipOf({{"", "x"}});
                       },
                       nothing,
                       {"WARNING: Skipped unsafe file name []."},
                       {}},
        // Dots that are part of a name climb nowhere.
        ExtractionCase{"DotsInsideNameAreFine",
                       [](const std::string&) {
                           return zipOf({{"..btc..mn3", "m"}});
                       },
                       nothing,
                       {"Unzipped File: [..btc..mn3]."},
                       {{"missions/..btc..mn3", "m"}}}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------

INSTANTIATE_TEST_SUITE_P(
    Damage, Extraction,
    ::testing::Values(ExtractionCase{"WrongCrcKeepsOlderFile",
                                     [](const std::string&) {
                                         ZipBuilder b;
                                         b.add("btc.mn3", "new mission").crc = 0x12345678;
                                         b.add("readme.txt", "read me");
                                         return b.build();
                                     },
                                     olderGoodFile,
                                     {"WARNING: File [btc.mn3] is damaged and was not unzipped.",
                                      "Unzipped File: [readme.txt]."},
                                     {{"missions/btc.mn3", "older good mission"},
                                      {"missions/readme.txt", "read me"}}},
                      ExtractionCase{"BrokenDeflateKeepsOlderFile",
                                     [](const std::string&) {
                                         ZipBuilder b;
                                         b.add("btc.mn3", bytes(5000)).payload =
                                             std::string(40, '\xFF');
                                         return b.build();
                                     },
                                     olderGoodFile,
                                     {"WARNING: File [btc.mn3] is damaged and was not unzipped."},
                                     {{"missions/btc.mn3", "older good mission"}}},
                      ExtractionCase{"TruncatedStoredData",
                                     [](const std::string&) {
                                         ZipBuilder b;
                                         auto& e = b.add("btc.mn3", bytes(5000), 0);
                                         e.payload = bytes(3000);
                                         e.compressedSize = 3000;
                                         return b.build();
                                     },
                                     olderGoodFile,
                                     {"WARNING: File [btc.mn3] is damaged and was not unzipped."},
                                     {{"missions/btc.mn3", "older good mission"}}},
                      ExtractionCase{"LocalHeaderDisagrees",
                                     [](const std::string&) {
                                         ZipBuilder b;
                                         b.add("btc.mn3", "new").localMethod = 0;
                                         return b.build();
                                     },
                                     olderGoodFile,
                                     {"WARNING: File [btc.mn3] is damaged and was not unzipped."},
                                     {{"missions/btc.mn3", "older good mission"}}},
                      ExtractionCase{"UnknownMethod",
                                     [](const std::string&) {
                                         ZipBuilder b;
                                         b.add("btc.mn3", "new", 12);
                                         return b.build();
                                     },
                                     nothing,
                                     {"WARNING: File [btc.mn3] is damaged and was not unzipped."},
                                     {}}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------

INSTANTIATE_TEST_SUITE_P(
    Refused, Extraction,
    ::testing::Values(
        ExtractionCase{"EntriesShareData",
                       [](const std::string&) {
                           ZipBuilder b;
                           b.add("btc.mn3", "mission");
                           b.add("copy.mn3", "mission").localHeaderOffset = 0;
                           return b.build();
                       },
                       nothing,
                       {"ERROR: Archive [{archive}] has entries that share their data; nothing "
                        "was unzipped."},
                       {}},
        ExtractionCase{"EntryDataRunsIntoNext",
                       [](const std::string&) {
                           ZipBuilder b;
                           b.add("btc.mn3", "mission", 0).compressedSize = 20;
                           b.add("readme.txt", "read me", 0);
                           return b.build();
                       },
                       nothing,
                       {"ERROR: Archive [{archive}] has entries that share their data; nothing "
                        "was unzipped."},
                       {}},
        ExtractionCase{"DeclaredSizesTooLarge",
                       [](const std::string&) {
                           ZipBuilder b;
                           b.add("btc.mn3", "mission");
                           b.add("a.bin", "a").uncompressedSize = 0x60000000;
                           b.add("b.bin", "b").uncompressedSize = 0x30000000;
                           return b.build();
                       },
                       nothing,
                       {"ERROR: Archive [{archive}] would unpack to more than 2 GiB; nothing "
                        "was unzipped."},
                       {}},
        ExtractionCase{
            "DeclaredSizesAtBound",
            [](const std::string&) {
                ZipBuilder b;
                b.add("btc.mn3", "mission");
                // 2 GiB in all: allowed, the lying entry fails on its own.
                b.add("a.bin", "a").uncompressedSize = 0x80000000 - 7;
                return b.build();
            },
            nothing,
            {"Unzipped File: [btc.mn3].", "WARNING: File [a.bin] is damaged and was not unzipped."},
            {{"missions/btc.mn3", "mission"}}}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------

INSTANTIATE_TEST_SUITE_P(
    Targets, Extraction,
    ::testing::Values(
        ExtractionCase{"PlantedLinkIsReplacedNotFollowed",
                       [](const std::string&) {
                           return zipOf({{"btc.mn3", "new"}});
                       },
                       [](const std::string& r) {
                           std::FILE* f = std::fopen((r + "/outside.txt").c_str(), "wb");
                           std::fputs("outside", f);
                           std::fclose(f);
                           fs::create_symlink(r + "/outside.txt", r + "/missions/btc.mn3");
                       },
                       {"Unzipped File: [btc.mn3]."},
                       {{"outside.txt", "outside"}, {"missions/btc.mn3", "new"}}},
        ExtractionCase{"LinkedNameNeverCreated",
                       [](const std::string&) {
                           ZipBuilder b;
                           // A Unix archiver's symbolic link: stored as its target text.
                           b.add("link.mn3", "/etc/passwd", 0);
                           return b.build();
                       },
                       nothing,
                       {"Unzipped File: [link.mn3]."},
                       {{"missions/link.mn3", "/etc/passwd"}}},
        ExtractionCase{"ReadOnlyFileSkippedSilently",
                       [](const std::string&) {
                           return zipOf({{"btc.mn3", "new"}, {"readme.txt", "r"}});
                       },
                       [](const std::string& r) {
                           olderGoodFile(r);
                           fs::permissions(r + "/missions/btc.mn3", fs::perms::owner_read);
                       },
                       {"Unzipped File: [readme.txt]."},
                       {{"missions/btc.mn3", "older good mission"}, {"missions/readme.txt", "r"}}},
        ExtractionCase{"FolderAtTargetSkippedSilently",
                       [](const std::string&) {
                           return zipOf({{"levels", "file"}});
                       },
                       [](const std::string& r) { fs::create_directory(r + "/missions/levels"); },
                       {},
                       {}}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------

TEST(ExtractionOpen, MissingArchiveFailsWithoutLine) {
    TempDir root;
    RecordingLog log;
    EXPECT_FALSE(ExtractMission(log, QString::fromStdString(root.file("btc.zip")),
                                QString::fromStdString(root.path())));
    EXPECT_TRUE(log.lines.isEmpty());
}

TEST(ExtractionOpen, FolderWithoutTrailingSeparator) {
    TempDir root;
    root.write("btc.zip", zipOf({{"btc.mn3", "m"}}));
    RecordingLog log;
    EXPECT_TRUE(ExtractMission(log, QString::fromStdString(root.file("btc.zip")),
                               QString::fromStdString(root.path())));
    EXPECT_EQ(TempDir::read(root.file("btc.mn3")), "m");
}

}  // namespace
}  // namespace torv::test
