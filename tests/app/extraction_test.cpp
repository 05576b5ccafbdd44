#include <QScopeGuard>
#include <QString>

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "app/EntryNameCheck.h"
#include "app/MissionExtraction.h"
#include "app/StagedFile.h"
#include "app/recorders.h"
#include "platform/InterruptCleanup.h"
#include "support/temp_dir.h"
#include "support/zip_builder.h"
#include "zip/zip_test_util.h"

namespace torv::test {
namespace {

namespace fs = std::filesystem;

// Every regular file and link below root, relative to it, with its content (a link shows as
// "-> <target relative to root>"), except the archive itself.
std::map<std::string, std::string> treeOf(const std::string& root, const std::string& archive) {
    std::map<std::string, std::string> tree;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        if (e.path() == archive || (e.is_directory() && !e.is_symlink())) {
            continue;
        }
        const std::string rel = e.path().lexically_relative(root).string();
        tree[rel] = e.is_symlink()
                        ? "-> " + fs::read_symlink(e.path()).lexically_relative(root).string()
                    : e.is_fifo() ? "fifo"
                                  : TempDir::read(e.path().string());
    }
    return tree;
}

struct ExtractionCase {
    const char* name;
    std::string archive;
    void (*prepare)(const TempDir& root);     // root holds "missions"; may be null
    QStringList lines;                        // "{archive}" stands for the archive's path
    std::map<std::string, std::string> tree;  // what root holds afterwards
    ExtractionTuning tuning = {};
};

// The archive is extracted into "missions", named without a trailing separator.
void expectExtraction(const ExtractionCase& c) {
    TempDir root;
    fs::create_directory(root.file("missions"));
    if (c.prepare != nullptr) {
        c.prepare(root);
    }
    const std::string archive = root.write("missions/btc.zip", c.archive);

    RecordingLog log;
    EXPECT_TRUE(ExtractMission(log, QString::fromStdString(archive),
                               QString::fromStdString(root.file("missions")), c.tuning));
    EXPECT_EQ(log.lines,
              QStringList(c.lines).replaceInStrings("{archive}", QString::fromStdString(archive)));
    EXPECT_EQ(treeOf(root.file("missions"), archive), c.tree);
}

class Extraction : public ::testing::TestWithParam<ExtractionCase> {};

TEST_P(Extraction, WritesWhatIsSafeAndLogsExactly) {
    expectExtraction(GetParam());
}

std::string zipWith(void (*build)(ZipBuilder&)) {
    ZipBuilder b;
    build(b);
    return b.build();
}

std::string zipOf(std::vector<std::pair<std::string, std::string>> entries) {
    ZipBuilder b;
    for (auto& [name, data] : entries) {
        b.add(name, data);
    }
    return b.build();
}

void olderGoodFile(const TempDir& root) {
    root.write("missions/btc.mn3", "older good mission");
}

void levelsFolder(const TempDir& root) {
    fs::create_directory(root.file("missions/levels"));
}

const QString kDamaged = "WARNING: File [%1] is damaged and was not unzipped.";

// Entries past the memory bound stream instead of being decoded whole; both are judged alike.
std::string streamedAndPooled() {
    const std::string big = noise(100000, 1);
    const std::string small = noise(3000, 2);
    ZipBuilder b;
    b.add("big.mn3", big);
    b.add("big-bad-crc.dat", big).crc = 7;
    b.add("small-bad-crc.dat", small).crc = 7;
    b.add("big-cut.dat", big).payload = rawDeflate(big).substr(0, 2000);
    b.add("small-cut.dat", small).payload = rawDeflate(small).substr(0, 200);
    b.add("small.txt", small, 0);
    b.add("big-stored.dat", big, 0);
    b.add("small-stored-short.dat", small, 0).payload = small.substr(0, 1000);
    return b.build();
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Archives, Extraction, ::testing::Values(
    ExtractionCase{"InDirectoryOrderOverOlderFile", zipOf({{"readme.txt", "read me"}, {"btc.mn3", "mission"}}), olderGoodFile,
                   {"Unzipped File: [readme.txt].", "Unzipped File: [btc.mn3]."}, {{"readme.txt", "read me"}, {"btc.mn3", "mission"}}},
    ExtractionCase{"FolderPathWithoutFolder", zipOf({{"levels/", ""}, {"levels/btc.mn3", "m"}}), nullptr,
                   {"WARNING: Folder [levels/] was not unzipped: folder [levels] does not exist.",
                    "WARNING: File [levels/btc.mn3] was not unzipped: folder [levels] does not exist."}, {}},
    ExtractionCase{"FolderPathWithFolderEitherSeparator", zipOf({{"levels/", ""}, {"levels/btc.mn3", "m"}, {"levels\\x.mn3", "x"}}), levelsFolder,
                   {"Unzipped File: [levels/btc.mn3].", "Unzipped File: [levels\\x.mn3]."}, {{"levels/btc.mn3", "m"}, {"levels/x.mn3", "x"}}},
    ExtractionCase{"LargeDeflatedEntry", zipOf({{"btc.mn3", noise(300'001)}}), nullptr, {"Unzipped File: [btc.mn3]."}, {{"btc.mn3", noise(300'001)}}},
    ExtractionCase{"EmptyEntry", zipOf({{"empty.txt", ""}}), nullptr, {"Unzipped File: [empty.txt]."}, {{"empty.txt", ""}}},
    ExtractionCase{"StreamedAndPooledJudgedAlike", streamedAndPooled(), nullptr,
                   {"Unzipped File: [big.mn3].", kDamaged.arg("big-bad-crc.dat"), kDamaged.arg("small-bad-crc.dat"), kDamaged.arg("big-cut.dat"),
                    kDamaged.arg("small-cut.dat"), "Unzipped File: [small.txt].", "Unzipped File: [big-stored.dat].", kDamaged.arg("small-stored-short.dat")},
                   {{"big.mn3", noise(100000, 1)}, {"small.txt", noise(3000, 2)}, {"big-stored.dat", noise(100000, 1)}}, {.memoryBound = 64 * 1024, .threads = 0, .decode = {}}},
    // The name check is wired in: an unsafe entry is skipped, the next one still written.
    ExtractionCase{"UnsafeNameSkipped", zipOf({{"../escaped.txt", "x"}, {"btc.mn3", "m"}}), nullptr,
                   {"WARNING: Skipped unsafe file name [../escaped.txt].", "Unzipped File: [btc.mn3]."}, {{"btc.mn3", "m"}}},
    ExtractionCase{"WrongCrcKeepsOlderFile", zipWith([](ZipBuilder& b) { b.add("btc.mn3", "new mission").crc = 0x12345678; b.add("readme.txt", "read me"); }), olderGoodFile,
                   {kDamaged.arg("btc.mn3"), "Unzipped File: [readme.txt]."}, {{"btc.mn3", "older good mission"}, {"readme.txt", "read me"}}},
    ExtractionCase{"LocalHeaderDisagreesKeepsOlderFile", zipWith([](ZipBuilder& b) { b.add("btc.mn3", "new").localMethod = 0; }), olderGoodFile,
                   {kDamaged.arg("btc.mn3")}, {{"btc.mn3", "older good mission"}}},
    ExtractionCase{"EntryDataRunsIntoNext", zipWith([](ZipBuilder& b) { b.add("btc.mn3", "mission", 0).compressedSize = 20; b.add("readme.txt", "read me", 0); }), nullptr,
                   {"ERROR: Archive [{archive}] has entries that share their data; nothing was unzipped."}, {}},
    ExtractionCase{"DeclaredSizesTooLarge",
                   zipWith([](ZipBuilder& b) { b.add("btc.mn3", "mission"); b.add("a.bin", "a").uncompressedSize = 0x60000000; b.add("b.bin", "b").uncompressedSize = 0x30000000; }), nullptr,
                   {"ERROR: Archive [{archive}] would unpack to more than 2 GiB; nothing was unzipped."}, {}},
    // 2 GiB in all: allowed, the lying entry fails on its own.
    ExtractionCase{"DeclaredSizesAtBound", zipWith([](ZipBuilder& b) { b.add("btc.mn3", "mission"); b.add("a.bin", "a").uncompressedSize = 0x80000000 - 7; }), nullptr,
                   {"Unzipped File: [btc.mn3].", kDamaged.arg("a.bin")}, {{"btc.mn3", "mission"}}},
    ExtractionCase{"LinkAtNameIsLeftAlone", zipOf({{"btc.mn3", "new"}, {"readme.txt", "r"}}),
                   [](const TempDir& r) { fs::create_directory(r.file("outside")); fs::create_symlink(r.file("outside/btc.mn3"), r.file("missions/btc.mn3")); },
                   {"WARNING: File [btc.mn3] was not unzipped: a symbolic link has that name.", "Unzipped File: [readme.txt]."}, {{"btc.mn3", "-> ../outside/btc.mn3"}, {"readme.txt", "r"}}},
    ExtractionCase{"LinkedFolderIsNotEntered", zipOf({{"levels/deep/", ""}, {"levels/deep/x.mn3", "x"}, {"levels/y.mn3", "y"}}),
                   [](const TempDir& r) { levelsFolder(r); fs::create_directory(r.file("outside")); fs::create_directory_symlink(r.file("outside"), r.file("missions/levels/deep")); },
                   {"WARNING: Folder [levels/deep/] was not unzipped: folder [levels/deep] is a symbolic link.",
                    "WARNING: File [levels/deep/x.mn3] was not unzipped: folder [levels/deep] is a symbolic link.", "Unzipped File: [levels/y.mn3]."},
                   {{"levels/deep", "-> ../outside"}, {"levels/y.mn3", "y"}}},
    ExtractionCase{"FileWhereFolderShouldBe", zipOf({{"levels/x.mn3", "x"}}), [](const TempDir& r) { r.write("missions/levels", ""); },
                   {"WARNING: File [levels/x.mn3] was not unzipped: folder [levels] is not a folder."}, {{"levels", ""}}},
    ExtractionCase{"ReadOnlyFileIsKept", zipOf({{"btc.mn3", "new"}, {"readme.txt", "r"}}),
                   [](const TempDir& r) { fs::permissions(r.write("missions/btc.mn3", "older good mission"), fs::perms::owner_read); },
                   {"WARNING: File [btc.mn3] was not unzipped: the file there is read-only.", "Unzipped File: [readme.txt]."}, {{"btc.mn3", "older good mission"}, {"readme.txt", "r"}}},
    ExtractionCase{"FolderAtName", zipOf({{"levels", "file"}}), levelsFolder, {"WARNING: File [levels] was not unzipped: a folder has that name."}, {}}),
    kByName);
// clang-format on

struct NameCase {
    const char* stored;
    EntryNameKind kind;
    const char* relativePath;
};

TEST(EntryNameCheck, RefusesNamesThatLeaveTheMissionsFolder) {
    // clang-format off
    const NameCase cases[] = {
        {"btc.mn3", EntryNameKind::File, "btc.mn3"},
        {"levels\\", EntryNameKind::Folder, "levels/"},
        {"..btc..mn3", EntryNameKind::File, "..btc..mn3"},  // dots inside a name climb nowhere
        {"@:x", EntryNameKind::File, "@:x"},
        {"[:x", EntryNameKind::File, "[:x"},
        {"`:x", EntryNameKind::File, "`:x"},
        {"{:x", EntryNameKind::File, "{:x"},
        {"", EntryNameKind::Unsafe, ""},
        {"..", EntryNameKind::Unsafe, ""},
        {"../escaped.txt", EntryNameKind::Unsafe, ""},
        {"..\\escaped.txt", EntryNameKind::Unsafe, ""},
        {"levels/..", EntryNameKind::Unsafe, ""},
        {"\\\\server\\share\\escaped.txt", EntryNameKind::Unsafe, ""},
        {"C:\\escaped.txt", EntryNameKind::Unsafe, ""},
        {"A:x", EntryNameKind::Unsafe, ""},
        {"Z:x", EntryNameKind::Unsafe, ""},
        {"a:x", EntryNameKind::Unsafe, ""},
        {"z:x", EntryNameKind::Unsafe, ""},
    };
    // clang-format on
    for (const NameCase& c : cases) {
        const EntryName name = CheckEntryName(c.stored);
        EXPECT_EQ(name.kind, c.kind) << c.stored;
        EXPECT_EQ(name.relativePath, c.relativePath) << c.stored;
    }
}

TEST(ExtractionFullFolder, EveryEntryThatDoesNotFitIsNamed) {
    TempDir root;
    const std::string missions = root.file("missions");
    fs::create_directory(missions);
    // A tiny file system: room for two small files and nothing more.
    if (::mount("tmpfs", missions.c_str(), "tmpfs", 0, "size=64k,nr_inodes=3") != 0) {
        GTEST_SKIP() << "mounting a tmpfs needs root: " << std::strerror(errno);
    }
    const auto unmount = qScopeGuard([&] { ::umount2(missions.c_str(), MNT_DETACH); });
    const std::string archive = root.write(
        "btc.zip",
        zipOf({{"big.bin", noise(200'000)}, {"a.txt", "a"}, {"b.txt", "b"}, {"c.txt", "c"}}));
    RecordingLog log;
    EXPECT_TRUE(
        ExtractMission(log, QString::fromStdString(archive), QString::fromStdString(missions)));
    const QString full =
        "WARNING: File [%1] was not unzipped: it could not be %2 (No space left "
        "on device).";
    EXPECT_EQ(log.lines, QStringList({full.arg("big.bin", "written"), "Unzipped File: [a.txt].",
                                      "Unzipped File: [b.txt].", full.arg("c.txt", "created")}));
    EXPECT_EQ(treeOf(missions, archive),
              (std::map<std::string, std::string>{{"a.txt", "a"}, {"b.txt", "b"}}));
}

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
    root.write("missions/.torv-123-4.part", "x");
    root.write("missions/levels/.torv-9-0.part", "x");
    // Not torv's, outside, behind a link, or no regular file: never swept.
    std::map<std::string, std::string> kept = {{"missions/.torv-5-5.part", "fifo"},
                                               {"missions/linked", "-> outside"}};
    for (const char* name :
         {"missions/.torv-abc-1.part", "missions/.torv-1-2.part.txt", "missions/notes.part",
          "missions/.torv--1.part", "outside/.torv-7-7.part"}) {
        root.write(name, "x");
        kept[name] = "x";
    }
    fs::create_directory_symlink(root.file("outside"), m + "/linked");
    ASSERT_EQ(::mkfifo((m + "/.torv-5-5.part").c_str(), 0644), 0);

    StagedFile live(fs::path(m) / "btc.zip");
    ASSERT_TRUE(live.isOpen());
    live.write(reinterpret_cast<const uint8_t*>("zip"), 3);

    EXPECT_EQ(SweepStagedFiles(m), 2);
    std::map<std::string, std::string> left = treeOf(root.path(), "");
    const auto isLive = [](const auto& file) {
        return IsStagedFileName(fs::path(file.first).filename().string()) &&
               file.first.starts_with("missions/") && file.second != "fifo";
    };
    EXPECT_EQ(std::erase_if(left, isLive), 1u) << "the live file was swept";
    EXPECT_EQ(left, kept);
    EXPECT_TRUE(live.commit());
    EXPECT_EQ(TempDir::read(m + "/btc.zip"), "zip");
}

TEST(ExtractionOpen, MissingArchiveFailsWithoutLine) {
    RecordingLog log;
    EXPECT_FALSE(ExtractMission(log, "/nonexistent/btc.zip", "/nonexistent/"));
    EXPECT_TRUE(log.lines.isEmpty());
}

TEST(ExtractionOnCores, LinesFollowTheArchiveWhateverOrderEntriesFinishIn) {
    ZipBuilder b;
    b.add("first.mn3", noise(3000, 1));
    b.add("second.txt", noise(2000, 2));
    b.add("damaged.dat", noise(1500, 3)).crc = 7;
    b.add("last.hog", noise(1000, 4));

    // The first entry waits until every other one is done; the wait is bounded, so a pool that
    // cannot decode them meanwhile fails the order check instead of hanging.
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<uint32_t> finished;  // sizes, in the order their decoding ended
    ExtractionTuning tuning;
    tuning.threads = 2;
    tuning.decode = [&](const ZipRawEntry& raw, uint8_t* out, uint64_t capacity) {
        if (raw.uncompressedSize == 3000) {
            std::unique_lock lock(mutex);
            changed.wait_for(lock, std::chrono::seconds(30), [&] { return finished.size() == 3; });
        }
        const int result = ZipDecodeEntry(raw, out, capacity);
        std::lock_guard lock(mutex);
        finished.push_back(raw.uncompressedSize);
        changed.notify_all();
        return result;
    };
    expectExtraction({"",
                      b.build(),
                      nullptr,
                      {"Unzipped File: [first.mn3].", "Unzipped File: [second.txt].",
                       kDamaged.arg("damaged.dat"), "Unzipped File: [last.hog]."},
                      {{"first.mn3", noise(3000, 1)},
                       {"second.txt", noise(2000, 2)},
                       {"last.hog", noise(1000, 4)}},
                      tuning});
    ASSERT_EQ(finished.size(), 4u);
    EXPECT_EQ(finished.back(), 3000u);
}

}  // namespace
}  // namespace torv::test
