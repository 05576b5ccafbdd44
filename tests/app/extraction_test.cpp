#include <QString>

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <ostream>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "app/MissionExtraction.h"
#include "app/StagedFile.h"
#include "app/recording_log.h"
#include "platform/InterruptCleanup.h"
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
        const std::string rel = e.path().lexically_relative(root).string();
        tree[rel] = e.is_symlink() ? "-> " + fs::read_symlink(e.path()).string()
                    : e.is_fifo()  ? "fifo"
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
    std::map<std::string, std::string> tree = c.tree;
    for (auto& [name, content] : tree) {
        if (auto at = content.find("{root}"); at != std::string::npos) {
            content.replace(at, 6, root.path());
        }
    }
    EXPECT_EQ(treeOf(root.path(), archive), tree);
}

std::string zipOf(std::vector<std::pair<std::string, std::string>> entries) {
    ZipBuilder b;
    for (auto& [name, data] : entries) {
        b.add(name, data);
    }
    return b.build();
}

std::string (*const zipOfLevels)(const std::string&) = [](const std::string&) {
    return zipOf({{"levels/", ""}, {"levels/btc.mn3", "m"}});
};

void levelsFolder(const std::string& r) {
    fs::create_directory(r + "/missions/levels");
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Archives, Extraction,
    ::testing::Values(
        ExtractionCase{"TwoEntriesInDirectoryOrder", [](const std::string&) { return zipOf({{"readme.txt", "read me"}, {"btc.mn3", "mission"}}); }, nothing,
                       {"Unzipped File: [readme.txt].", "Unzipped File: [btc.mn3]."}, {{"missions/readme.txt", "read me"}, {"missions/btc.mn3", "mission"}}},
        ExtractionCase{"FolderPathWithoutFolder", zipOfLevels, nothing,
                       {"WARNING: Folder [levels/] was not unzipped: folder [levels] does not exist.",
                        "WARNING: File [levels/btc.mn3] was not unzipped: folder [levels] does not exist."}, {}},
        ExtractionCase{"FolderPathWithFolder", zipOfLevels, levelsFolder, {"Unzipped File: [levels/btc.mn3]."}, {{"missions/levels/btc.mn3", "m"}}},
        ExtractionCase{"BackslashIsSeparator", [](const std::string&) { return zipOf({{"levels\\btc.mn3", "m"}}); }, levelsFolder,
                       {"Unzipped File: [levels\\btc.mn3]."}, {{"missions/levels/btc.mn3", "m"}}},
        ExtractionCase{"ExistingFileOverwritten", [](const std::string&) { return zipOf({{"btc.mn3", "new"}}); }, olderGoodFile,
                       {"Unzipped File: [btc.mn3]."}, {{"missions/btc.mn3", "new"}}},
        ExtractionCase{"EntryOfTwoFullSteps", [](const std::string&) { ZipBuilder b; b.add("btc.mn3", bytes(2048), 0); return b.build(); }, nothing,
                       {"Unzipped File: [btc.mn3]."}, {{"missions/btc.mn3", bytes(2048)}}},
        ExtractionCase{"LargeDeflatedEntry", [](const std::string&) { return zipOf({{"btc.mn3", bytes(300'001)}}); }, nothing,
                       {"Unzipped File: [btc.mn3]."}, {{"missions/btc.mn3", bytes(300'001)}}},
        ExtractionCase{"EmptyEntry", [](const std::string&) { return zipOf({{"empty.txt", ""}}); }, nothing,
                       {"Unzipped File: [empty.txt]."}, {{"missions/empty.txt", ""}}},
        ExtractionCase{"EmptyFileIsNoArchive", [](const std::string&) { return std::string(); }, nothing, {}, {}},
        ExtractionCase{"HtmlPageIsNoArchive", [](const std::string&) { return std::string("<html><body>Not here</body></html>"); }, nothing, {}, {}}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    UnsafeNames, Extraction,
    ::testing::Values(
        ExtractionCase{"ParentSlash", [](const std::string&) { return zipOf({{"../escaped.txt", "x"}, {"btc.mn3", "m"}}); }, nothing,
                       {"WARNING: Skipped unsafe file name [../escaped.txt].", "Unzipped File: [btc.mn3]."}, {{"missions/btc.mn3", "m"}}},
        ExtractionCase{"ParentBackslash", [](const std::string&) { return zipOf({{"..\\escaped.txt", "x"}}); }, nothing, {"WARNING: Skipped unsafe file name [..\\escaped.txt]."}, {}},
        ExtractionCase{"ParentDeepInside", [](const std::string&) { return zipOf({{"levels/../../escaped.txt", "x"}}); }, levelsFolder,
                       {"WARNING: Skipped unsafe file name [levels/../../escaped.txt]."}, {}},
        ExtractionCase{"ParentAlone", [](const std::string&) { return zipOf({{"..", "x"}}); }, nothing, {"WARNING: Skipped unsafe file name [..]."}, {}},
        ExtractionCase{"AbsolutePath", [](const std::string& r) { return zipOf({{r + "/escaped.txt", "x"}}); }, nothing,
                       {"WARNING: Skipped unsafe file name [{root}/escaped.txt]."}, {}},
        ExtractionCase{"UncPrefix", [](const std::string&) { return zipOf({{"\\\\server\\share\\escaped.txt", "x"}}); }, nothing,
                       {"WARNING: Skipped unsafe file name [\\\\server\\share\\escaped.txt]."}, {}},
        ExtractionCase{"DrivePrefix", [](const std::string&) { return zipOf({{"C:\\escaped.txt", "x"}}); }, nothing, {"WARNING: Skipped unsafe file name [C:\\escaped.txt]."}, {}},
        ExtractionCase{"DriveRelative", [](const std::string&) { return zipOf({{"c:escaped.txt", "x"}}); }, nothing, {"WARNING: Skipped unsafe file name [c:escaped.txt]."}, {}},
        ExtractionCase{"EmptyName", [](const std::string&) { return zipOf({{"", "x"}}); }, nothing, {"WARNING: Skipped unsafe file name []."}, {}},
        // Dots that are part of a name climb nowhere.
        ExtractionCase{"DotsInsideNameAreFine", [](const std::string&) { return zipOf({{"..btc..mn3", "m"}}); }, nothing,
                       {"Unzipped File: [..btc..mn3]."}, {{"missions/..btc..mn3", "m"}}}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// ---------------------------------------------------------------------------------------------

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Damage, Extraction,
    ::testing::Values(
        ExtractionCase{"WrongCrcKeepsOlderFile",
                       [](const std::string&) { ZipBuilder b; b.add("btc.mn3", "new mission").crc = 0x12345678; b.add("readme.txt", "read me"); return b.build(); }, olderGoodFile,
                       {"WARNING: File [btc.mn3] is damaged and was not unzipped.", "Unzipped File: [readme.txt]."},
                       {{"missions/btc.mn3", "older good mission"}, {"missions/readme.txt", "read me"}}},
        ExtractionCase{"BrokenDeflateKeepsOlderFile",
                       [](const std::string&) { ZipBuilder b; b.add("btc.mn3", bytes(5000)).payload = std::string(40, '\xFF'); return b.build(); }, olderGoodFile,
                       {"WARNING: File [btc.mn3] is damaged and was not unzipped."}, {{"missions/btc.mn3", "older good mission"}}},
        ExtractionCase{"TruncatedStoredData",
                       [](const std::string&) { ZipBuilder b; auto& e = b.add("btc.mn3", bytes(5000), 0); e.payload = bytes(3000); e.compressedSize = 3000; return b.build(); }, olderGoodFile,
                       {"WARNING: File [btc.mn3] is damaged and was not unzipped."}, {{"missions/btc.mn3", "older good mission"}}},
        ExtractionCase{"LocalHeaderDisagrees",
                       [](const std::string&) { ZipBuilder b; b.add("btc.mn3", "new").localMethod = 0; return b.build(); }, olderGoodFile,
                       {"WARNING: File [btc.mn3] is damaged and was not unzipped."}, {{"missions/btc.mn3", "older good mission"}}},
        ExtractionCase{"UnknownMethod",
                       [](const std::string&) { ZipBuilder b; b.add("btc.mn3", "new", 12); return b.build(); }, nothing,
                       {"WARNING: File [btc.mn3] is damaged and was not unzipped."}, {}}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Refused, Extraction,
    ::testing::Values(
        ExtractionCase{"EntriesShareData",
                       [](const std::string&) { ZipBuilder b; b.add("btc.mn3", "mission"); b.add("copy.mn3", "mission").localHeaderOffset = 0; return b.build(); }, nothing,
                       {"ERROR: Archive [{archive}] has entries that share their data; nothing was unzipped."}, {}},
        ExtractionCase{"EntryDataRunsIntoNext",
                       [](const std::string&) { ZipBuilder b; b.add("btc.mn3", "mission", 0).compressedSize = 20; b.add("readme.txt", "read me", 0); return b.build(); }, nothing,
                       {"ERROR: Archive [{archive}] has entries that share their data; nothing was unzipped."}, {}},
        ExtractionCase{"DeclaredSizesTooLarge",
                       [](const std::string&) {
                           ZipBuilder b;
                           b.add("btc.mn3", "mission");
                           b.add("a.bin", "a").uncompressedSize = 0x60000000;
                           b.add("b.bin", "b").uncompressedSize = 0x30000000;
                           return b.build();
                       }, nothing,
                       {"ERROR: Archive [{archive}] would unpack to more than 2 GiB; nothing was unzipped."}, {}},
        // 2 GiB in all: allowed, the lying entry fails on its own.
        ExtractionCase{"DeclaredSizesAtBound",
                       [](const std::string&) { ZipBuilder b; b.add("btc.mn3", "mission"); b.add("a.bin", "a").uncompressedSize = 0x80000000 - 7; return b.build(); }, nothing,
                       {"Unzipped File: [btc.mn3].", "WARNING: File [a.bin] is damaged and was not unzipped."}, {{"missions/btc.mn3", "mission"}}}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// ---------------------------------------------------------------------------------------------

void outsideFolder(const std::string& r) {
    fs::create_directory(r + "/outside");
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Targets, Extraction,
    ::testing::Values(
        ExtractionCase{"LinkAtNameIsLeftAlone", [](const std::string&) { return zipOf({{"btc.mn3", "new"}, {"readme.txt", "r"}}); },
                       [](const std::string& r) { outsideFolder(r); fs::create_symlink(r + "/outside/btc.mn3", r + "/missions/btc.mn3"); },
                       {"WARNING: File [btc.mn3] was not unzipped: a symbolic link has that name.", "Unzipped File: [readme.txt]."},
                       {{"missions/btc.mn3", "-> {root}/outside/btc.mn3"}, {"missions/readme.txt", "r"}}},
        ExtractionCase{"LinkedFolderIsNotEntered", [](const std::string&) { return zipOf({{"sub/", ""}, {"sub/x.mn3", "x"}, {"sub\\y.mn3", "y"}}); },
                       [](const std::string& r) { outsideFolder(r); fs::create_directory_symlink(r + "/outside", r + "/missions/sub"); },
                       {"WARNING: Folder [sub/] was not unzipped: folder [sub] is a symbolic link.",
                        "WARNING: File [sub/x.mn3] was not unzipped: folder [sub] is a symbolic link.",
                        "WARNING: File [sub\\y.mn3] was not unzipped: folder [sub] is a symbolic link."},
                       {{"missions/sub", "-> {root}/outside"}}},
        ExtractionCase{"LinkedFolderDeeperInThePath", [](const std::string&) { return zipOf({{"levels/deep/x.mn3", "x"}, {"levels/y.mn3", "y"}}); },
                       [](const std::string& r) { outsideFolder(r); levelsFolder(r); fs::create_directory_symlink(r + "/outside", r + "/missions/levels/deep"); },
                       {"WARNING: File [levels/deep/x.mn3] was not unzipped: folder [levels/deep] is a symbolic link.", "Unzipped File: [levels/y.mn3]."},
                       {{"missions/levels/deep", "-> {root}/outside"}, {"missions/levels/y.mn3", "y"}}},
        ExtractionCase{"FileWhereFolderShouldBe", [](const std::string&) { return zipOf({{"levels/x.mn3", "x"}}); },
                       [](const std::string& r) { std::FILE* f = std::fopen((r + "/missions/levels").c_str(), "wb"); std::fclose(f); },
                       {"WARNING: File [levels/x.mn3] was not unzipped: folder [levels] is not a folder."}, {{"missions/levels", ""}}},
        // A Unix archiver's symbolic link: stored as its target text.
        ExtractionCase{"LinkedNameNeverCreated", [](const std::string&) { ZipBuilder b; b.add("link.mn3", "/etc/passwd", 0); return b.build(); }, nothing,
                       {"Unzipped File: [link.mn3]."}, {{"missions/link.mn3", "/etc/passwd"}}},
        ExtractionCase{"ReadOnlyFileIsKept", [](const std::string&) { return zipOf({{"btc.mn3", "new"}, {"readme.txt", "r"}}); },
                       [](const std::string& r) { olderGoodFile(r); fs::permissions(r + "/missions/btc.mn3", fs::perms::owner_read); },
                       {"WARNING: File [btc.mn3] was not unzipped: the file there is read-only.", "Unzipped File: [readme.txt]."},
                       {{"missions/btc.mn3", "older good mission"}, {"missions/readme.txt", "r"}}},
        ExtractionCase{"FolderAtName", [](const std::string&) { return zipOf({{"levels", "file"}}); }, levelsFolder,
                       {"WARNING: File [levels] was not unzipped: a folder has that name."}, {}},
        ExtractionCase{"FifoAtName", [](const std::string&) { return zipOf({{"btc.mn3", "new"}}); },
                       [](const std::string& r) { ASSERT_EQ(::mkfifo((r + "/missions/btc.mn3").c_str(), 0644), 0); },
                       {"WARNING: File [btc.mn3] was not unzipped: a special file has that name."}, {{"missions/btc.mn3", "fifo"}}}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// ---------------------------------------------------------------------------------------------

// A missions folder on a tiny file system: room for two small files and nothing more.
class FullFolder : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directory(m_missions);
        if (::mount("tmpfs", m_missions.c_str(), "tmpfs", 0, "size=64k,nr_inodes=3") != 0) {
            GTEST_SKIP() << "mounting a tmpfs needs root: " << std::strerror(errno);
        }
        m_mounted = true;
    }
    void TearDown() override {
        if (m_mounted) {
            ::umount2(m_missions.c_str(), MNT_DETACH);
        }
    }

    TempDir m_root;
    std::string m_missions = m_root.file("missions");
    bool m_mounted = false;
};

TEST_F(FullFolder, EveryEntryThatDoesNotFitIsNamed) {
    const std::string archive = m_root.write(
        "btc.zip",
        zipOf({{"big.bin", bytes(200'000)}, {"a.txt", "a"}, {"b.txt", "b"}, {"c.txt", "c"}}));
    RecordingLog log;
    EXPECT_TRUE(
        ExtractMission(log, QString::fromStdString(archive), QString::fromStdString(m_missions)));
    EXPECT_EQ(log.lines,
              QStringList({"WARNING: File [big.bin] was not unzipped: it could not be written (No "
                           "space left on device).",
                           "Unzipped File: [a.txt].", "Unzipped File: [b.txt].",
                           "WARNING: File [c.txt] was not unzipped: it could not be created (No "
                           "space left on device)."}));
    EXPECT_EQ(treeOf(m_missions, archive),
              (std::map<std::string, std::string>{{"a.txt", "a"}, {"b.txt", "b"}}));
}

// ---------------------------------------------------------------------------------------------

// Interrupted as soon as the first entry is in place.
class InterruptingLog : public RecordingLog {
public:
    void Log(const QString& line) override {
        if (line.startsWith("Unzipped File")) {
            std::raise(SIGTERM);
        }
    }
};

TEST(ExtractionInterrupted, LeavesNoArchiveAndNoPartialFileBehind) {
    GTEST_FLAG_SET(death_test_style, "fast");  // the child must see this fixture's folder
    TempDir root;
    const std::string archive =
        root.write("missions/btc.zip", zipOf({{"btc.mn3", "m"}, {"readme.txt", "r"}}));
    EXPECT_EXIT(
        {
            platform::InstallInterruptCleanup();
            InterruptingLog log;
            ExtractMission(log, QString::fromStdString(archive),
                           QString::fromStdString(root.file("missions")));
        },
        ::testing::ExitedWithCode(128 + SIGTERM), "");
    // What was finished stays; the archive the run would have deleted is gone.
    EXPECT_EQ(treeOf(root.path(), ""),
              (std::map<std::string, std::string>{{"missions/btc.mn3", "m"}}));
}

TEST(StagedFileSweep, RemovesOnlyDeadRunsFilesOfItsOwnPattern) {
    TempDir root;
    const std::string m = root.file("missions");
    for (const char* name :
         {"missions/.torv-123-4.part", "missions/levels/.torv-9-0.part",
          "missions/.torv-abc-1.part", "missions/.torv-1-2.part.txt", "missions/notes.part",
          "missions/.torv--1.part", "outside/.torv-7-7.part"}) {
        root.write(name, "x");
    }
    fs::create_directory_symlink(root.file("outside"), m + "/linked");
    ASSERT_EQ(::mkfifo((m + "/.torv-5-5.part").c_str(), 0644), 0);

    StagedFile live(fs::path(m) / "btc.zip");
    ASSERT_TRUE(live.isOpen());
    live.write(reinterpret_cast<const uint8_t*>("zip"), 3);

    EXPECT_EQ(SweepStagedFiles(m), 2);
    std::map<std::string, std::string> left = treeOf(root.path(), "");
    std::string liveName;
    for (auto it = left.begin(); it != left.end();) {
        if (IsStagedFileName(fs::path(it->first).filename().string()) &&
            it->first.starts_with("missions/") && it->second != "fifo") {
            liveName = it->first;
            it = left.erase(it);
        } else {
            ++it;
        }
    }
    EXPECT_FALSE(liveName.empty()) << "the live file was swept";
    EXPECT_EQ(left,
              (std::map<std::string, std::string>{{"missions/.torv-abc-1.part", "x"},
                                                  {"missions/.torv-1-2.part.txt", "x"},
                                                  {"missions/notes.part", "x"},
                                                  {"missions/.torv--1.part", "x"},
                                                  {"missions/.torv-5-5.part", "fifo"},
                                                  {"missions/linked", "-> " + root.file("outside")},
                                                  {"outside/.torv-7-7.part", "x"}}));
    EXPECT_TRUE(live.commit());
    EXPECT_EQ(TempDir::read(m + "/btc.zip"), "zip");
}

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
