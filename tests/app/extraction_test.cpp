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
#include <fstream>
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

// Incompressible, so that a cut stream is really cut.
std::string bytes(size_t size, uint32_t seed = 0) {
    std::string s(size, '\0');
    uint32_t x = seed * 2654435761u + 1;
    for (char& c : s) {
        x = x * 1103515245u + 12345u;
        c = char(x >> 23);
    }
    return s;
}

struct ExtractionCase {
    const char* name;
    std::string archive;
    void (*prepare)(const std::string& root);  // root holds "missions"; may be null
    // "{archive}" stands for the archive's path, "{root}" for root.
    std::vector<std::string> lines;
    std::map<std::string, std::string> tree;  // what root holds afterwards
};

std::string expand(std::string text, const std::string& archive, const std::string& root) {
    for (const auto& [key, value] : {std::pair{"{archive}", archive}, std::pair{"{root}", root}}) {
        if (auto at = text.find(key); at != std::string::npos) {
            text.replace(at, std::string(key).size(), value);
        }
    }
    return text;
}

class Extraction : public ::testing::TestWithParam<ExtractionCase> {};

TEST_P(Extraction, WritesWhatIsSafeAndLogsExactly) {
    const auto& c = GetParam();
    TempDir root;
    fs::create_directory(root.file("missions"));
    if (c.prepare != nullptr) {
        c.prepare(root.path());
    }
    const std::string archive = root.write("missions/btc.zip", c.archive);

    RecordingLog log;
    EXPECT_TRUE(ExtractMission(log, QString::fromStdString(archive),
                               QString::fromStdString(root.file("missions/"))));

    QStringList expected;
    for (const std::string& line : c.lines) {
        expected.push_back(QString::fromStdString(expand(line, archive, root.path())));
    }
    EXPECT_EQ(log.lines, expected);
    std::map<std::string, std::string> tree = c.tree;
    for (auto& [name, content] : tree) {
        content = expand(content, archive, root.path());
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

void put(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

void olderGoodFile(const std::string& r) {
    put(r + "/missions/btc.mn3", "older good mission");
}

void levelsFolder(const std::string& r) {
    fs::create_directory(r + "/missions/levels");
}

void outsideFolder(const std::string& r) {
    fs::create_directory(r + "/outside");
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Archives, Extraction, ::testing::Values(
    ExtractionCase{"InDirectoryOrderOverOlderFile", zipOf({{"readme.txt", "read me"}, {"btc.mn3", "mission"}}), olderGoodFile,
                   {"Unzipped File: [readme.txt].", "Unzipped File: [btc.mn3]."}, {{"missions/readme.txt", "read me"}, {"missions/btc.mn3", "mission"}}},
    ExtractionCase{"FolderPathWithoutFolder", zipOf({{"levels/", ""}, {"levels/btc.mn3", "m"}}), nullptr,
                   {"WARNING: Folder [levels/] was not unzipped: folder [levels] does not exist.",
                    "WARNING: File [levels/btc.mn3] was not unzipped: folder [levels] does not exist."}, {}},
    ExtractionCase{"FolderPathWithFolderEitherSeparator", zipOf({{"levels/", ""}, {"levels/btc.mn3", "m"}, {"levels\\x.mn3", "x"}}), levelsFolder,
                   {"Unzipped File: [levels/btc.mn3].", "Unzipped File: [levels\\x.mn3]."}, {{"missions/levels/btc.mn3", "m"}, {"missions/levels/x.mn3", "x"}}},
    ExtractionCase{"EntryOfTwoFullSteps", [] { ZipBuilder b; b.add("btc.mn3", bytes(2048), 0); return b.build(); }(), nullptr,
                   {"Unzipped File: [btc.mn3]."}, {{"missions/btc.mn3", bytes(2048)}}},
    ExtractionCase{"LargeDeflatedEntry", zipOf({{"btc.mn3", bytes(300'001)}}), nullptr, {"Unzipped File: [btc.mn3]."}, {{"missions/btc.mn3", bytes(300'001)}}},
    ExtractionCase{"EmptyEntry", zipOf({{"empty.txt", ""}}), nullptr, {"Unzipped File: [empty.txt]."}, {{"missions/empty.txt", ""}}},
    ExtractionCase{"EmptyFileIsNoArchive", "", nullptr, {}, {}},
    ExtractionCase{"HtmlPageIsNoArchive", "<html><body>Not here</body></html>", nullptr, {}, {}},
    // The name check is wired in: an unsafe entry is skipped, the next one still written.
    ExtractionCase{"UnsafeNameSkipped", zipOf({{"../escaped.txt", "x"}, {"btc.mn3", "m"}}), nullptr,
                   {"WARNING: Skipped unsafe file name [../escaped.txt].", "Unzipped File: [btc.mn3]."}, {{"missions/btc.mn3", "m"}}},
    ExtractionCase{"WrongCrcKeepsOlderFile",
                   [] { ZipBuilder b; b.add("btc.mn3", "new mission").crc = 0x12345678; b.add("readme.txt", "read me"); return b.build(); }(), olderGoodFile,
                   {"WARNING: File [btc.mn3] is damaged and was not unzipped.", "Unzipped File: [readme.txt]."},
                   {{"missions/btc.mn3", "older good mission"}, {"missions/readme.txt", "read me"}}},
    ExtractionCase{"BrokenDeflateKeepsOlderFile", [] { ZipBuilder b; b.add("btc.mn3", bytes(5000)).payload = std::string(40, '\xFF'); return b.build(); }(), olderGoodFile,
                   {"WARNING: File [btc.mn3] is damaged and was not unzipped."}, {{"missions/btc.mn3", "older good mission"}}},
    ExtractionCase{"TruncatedStoredData",
                   [] { ZipBuilder b; auto& e = b.add("btc.mn3", bytes(5000), 0); e.payload = bytes(3000); e.compressedSize = 3000; return b.build(); }(), olderGoodFile,
                   {"WARNING: File [btc.mn3] is damaged and was not unzipped."}, {{"missions/btc.mn3", "older good mission"}}},
    ExtractionCase{"LocalHeaderDisagrees", [] { ZipBuilder b; b.add("btc.mn3", "new").localMethod = 0; return b.build(); }(), olderGoodFile,
                   {"WARNING: File [btc.mn3] is damaged and was not unzipped."}, {{"missions/btc.mn3", "older good mission"}}},
    ExtractionCase{"UnknownMethod", [] { ZipBuilder b; b.add("btc.mn3", "new", 12); return b.build(); }(), nullptr,
                   {"WARNING: File [btc.mn3] is damaged and was not unzipped."}, {}},
    ExtractionCase{"EntriesShareData", [] { ZipBuilder b; b.add("btc.mn3", "mission"); b.add("copy.mn3", "mission").localHeaderOffset = 0; return b.build(); }(), nullptr,
                   {"ERROR: Archive [{archive}] has entries that share their data; nothing was unzipped."}, {}},
    ExtractionCase{"EntryDataRunsIntoNext",
                   [] { ZipBuilder b; b.add("btc.mn3", "mission", 0).compressedSize = 20; b.add("readme.txt", "read me", 0); return b.build(); }(), nullptr,
                   {"ERROR: Archive [{archive}] has entries that share their data; nothing was unzipped."}, {}},
    ExtractionCase{"DeclaredSizesTooLarge",
                   [] { ZipBuilder b; b.add("btc.mn3", "mission"); b.add("a.bin", "a").uncompressedSize = 0x60000000; b.add("b.bin", "b").uncompressedSize = 0x30000000; return b.build(); }(), nullptr,
                   {"ERROR: Archive [{archive}] would unpack to more than 2 GiB; nothing was unzipped."}, {}},
    // 2 GiB in all: allowed, the lying entry fails on its own.
    ExtractionCase{"DeclaredSizesAtBound", [] { ZipBuilder b; b.add("btc.mn3", "mission"); b.add("a.bin", "a").uncompressedSize = 0x80000000 - 7; return b.build(); }(), nullptr,
                   {"Unzipped File: [btc.mn3].", "WARNING: File [a.bin] is damaged and was not unzipped."}, {{"missions/btc.mn3", "mission"}}},
    ExtractionCase{"LinkAtNameIsLeftAlone", zipOf({{"btc.mn3", "new"}, {"readme.txt", "r"}}),
                   [](const std::string& r) { outsideFolder(r); fs::create_symlink(r + "/outside/btc.mn3", r + "/missions/btc.mn3"); },
                   {"WARNING: File [btc.mn3] was not unzipped: a symbolic link has that name.", "Unzipped File: [readme.txt]."},
                   {{"missions/btc.mn3", "-> {root}/outside/btc.mn3"}, {"missions/readme.txt", "r"}}},
    ExtractionCase{"LinkedFolderIsNotEntered", zipOf({{"sub/", ""}, {"sub/x.mn3", "x"}}),
                   [](const std::string& r) { outsideFolder(r); fs::create_directory_symlink(r + "/outside", r + "/missions/sub"); },
                   {"WARNING: Folder [sub/] was not unzipped: folder [sub] is a symbolic link.",
                    "WARNING: File [sub/x.mn3] was not unzipped: folder [sub] is a symbolic link."},
                   {{"missions/sub", "-> {root}/outside"}}},
    ExtractionCase{"LinkedFolderDeeperInThePath", zipOf({{"levels/deep/x.mn3", "x"}, {"levels/y.mn3", "y"}}),
                   [](const std::string& r) { outsideFolder(r); levelsFolder(r); fs::create_directory_symlink(r + "/outside", r + "/missions/levels/deep"); },
                   {"WARNING: File [levels/deep/x.mn3] was not unzipped: folder [levels/deep] is a symbolic link.", "Unzipped File: [levels/y.mn3]."},
                   {{"missions/levels/deep", "-> {root}/outside"}, {"missions/levels/y.mn3", "y"}}},
    ExtractionCase{"FileWhereFolderShouldBe", zipOf({{"levels/x.mn3", "x"}}), [](const std::string& r) { put(r + "/missions/levels", ""); },
                   {"WARNING: File [levels/x.mn3] was not unzipped: folder [levels] is not a folder."}, {{"missions/levels", ""}}},
    // A Unix archiver's symbolic link: stored as its target text.
    ExtractionCase{"LinkedNameNeverCreated", [] { ZipBuilder b; b.add("link.mn3", "/etc/passwd", 0); return b.build(); }(), nullptr,
                   {"Unzipped File: [link.mn3]."}, {{"missions/link.mn3", "/etc/passwd"}}},
    ExtractionCase{"ReadOnlyFileIsKept", zipOf({{"btc.mn3", "new"}, {"readme.txt", "r"}}),
                   [](const std::string& r) { olderGoodFile(r); fs::permissions(r + "/missions/btc.mn3", fs::perms::owner_read); },
                   {"WARNING: File [btc.mn3] was not unzipped: the file there is read-only.", "Unzipped File: [readme.txt]."},
                   {{"missions/btc.mn3", "older good mission"}, {"missions/readme.txt", "r"}}},
    ExtractionCase{"FolderAtName", zipOf({{"levels", "file"}}), levelsFolder, {"WARNING: File [levels] was not unzipped: a folder has that name."}, {}},
    ExtractionCase{"FifoAtName", zipOf({{"btc.mn3", "new"}}), [](const std::string& r) { ASSERT_EQ(::mkfifo((r + "/missions/btc.mn3").c_str(), 0644), 0); },
                   {"WARNING: File [btc.mn3] was not unzipped: a special file has that name."}, {{"missions/btc.mn3", "fifo"}}}),
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
        {"levels\\sub\\btc.mn3", EntryNameKind::File, "levels/sub/btc.mn3"},
        {"levels\\", EntryNameKind::Folder, "levels/"},
        {"..btc..mn3", EntryNameKind::File, "..btc..mn3"},  // dots inside a name climb nowhere
        {"a/.../b..", EntryNameKind::File, "a/.../b.."},
        {"1:btc.mn3", EntryNameKind::File, "1:btc.mn3"},
        {"@:x", EntryNameKind::File, "@:x"},
        {"[:x", EntryNameKind::File, "[:x"},
        {"`:x", EntryNameKind::File, "`:x"},
        {"{:x", EntryNameKind::File, "{:x"},
        {"", EntryNameKind::Unsafe, ""},
        {"..", EntryNameKind::Unsafe, ""},
        {"../escaped.txt", EntryNameKind::Unsafe, ""},
        {"..\\escaped.txt", EntryNameKind::Unsafe, ""},
        {"levels/../../escaped.txt", EntryNameKind::Unsafe, ""},
        {"levels/..", EntryNameKind::Unsafe, ""},
        {"/tmp/escaped.txt", EntryNameKind::Unsafe, ""},
        {"\\\\server\\share\\escaped.txt", EntryNameKind::Unsafe, ""},
        {"C:\\escaped.txt", EntryNameKind::Unsafe, ""},
        {"c:escaped.txt", EntryNameKind::Unsafe, ""},
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
        zipOf({{"big.bin", bytes(200'000)}, {"a.txt", "a"}, {"b.txt", "b"}, {"c.txt", "c"}}));
    RecordingLog log;
    EXPECT_TRUE(
        ExtractMission(log, QString::fromStdString(archive), QString::fromStdString(missions)));
    EXPECT_EQ(log.lines,
              QStringList({"WARNING: File [big.bin] was not unzipped: it could not be written (No "
                           "space left on device).",
                           "Unzipped File: [a.txt].", "Unzipped File: [b.txt].",
                           "WARNING: File [c.txt] was not unzipped: it could not be created (No "
                           "space left on device)."}));
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
    const auto isLive = [](const auto& file) {
        return IsStagedFileName(fs::path(file.first).filename().string()) &&
               file.first.starts_with("missions/") && file.second != "fifo";
    };
    EXPECT_EQ(std::erase_if(left, isLive), 1u) << "the live file was swept";
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

TEST(ExtractionOpen, MissingArchiveFailsWithoutLineFolderNeedsNoTrailingSeparator) {
    TempDir root;
    RecordingLog log;
    const QString archive = QString::fromStdString(root.file("btc.zip"));
    EXPECT_FALSE(ExtractMission(log, archive, QString::fromStdString(root.path())));
    EXPECT_TRUE(log.lines.isEmpty());
    root.write("btc.zip", zipOf({{"btc.mn3", "m"}}));
    EXPECT_TRUE(ExtractMission(log, archive, QString::fromStdString(root.path())));
    EXPECT_EQ(TempDir::read(root.file("btc.mn3")), "m");
}

// On several cores: entries the pool decodes whole and entries streamed past its memory bound are
// judged alike, and the lines keep the archive's order however the entries finish.
void expectOnCores(const ZipBuilder& b, const ExtractionTuning& t, const QStringList& lines,
                   const std::map<std::string, std::string>& tree) {
    TempDir root;
    const std::string archive = root.write("missions/m.zip", b.build());
    RecordingLog log;
    EXPECT_TRUE(ExtractMission(log, QString::fromStdString(archive),
                               QString::fromStdString(root.file("missions/")), t));
    EXPECT_EQ(log.lines, lines);
    // Compared whole, not printed: the contents are long and binary.
    EXPECT_TRUE(treeOf(root.file("missions"), archive) == tree);
}

TEST(ExtractionOnCores, EntriesUnderAndOverTheBoundAreJudgedAlike) {
    const std::string big = bytes(100000, 1);
    const std::string small = bytes(3000, 2);
    ZipBuilder b;
    b.add("big.mn3", big);
    b.add("big-bad-crc.dat", big).crc = 7;
    b.add("small-bad-crc.dat", small).crc = 7;
    b.add("big-cut.dat", big).payload = rawDeflate(big).substr(0, 2000);
    b.add("small-cut.dat", small).payload = rawDeflate(small).substr(0, 200);
    b.add("small.txt", small, 0);
    b.add("big-stored.dat", big, 0);
    b.add("small-stored-short.dat", small, 0).payload = small.substr(0, 1000);
    ExtractionTuning tuning;
    tuning.memoryBound = 64 * 1024;
    const QString damaged = "WARNING: File [%1] is damaged and was not unzipped.";
    expectOnCores(b, tuning,
                  {"Unzipped File: [big.mn3].", damaged.arg("big-bad-crc.dat"),
                   damaged.arg("small-bad-crc.dat"), damaged.arg("big-cut.dat"),
                   damaged.arg("small-cut.dat"), "Unzipped File: [small.txt].",
                   "Unzipped File: [big-stored.dat].", damaged.arg("small-stored-short.dat")},
                  {{"big.mn3", big}, {"small.txt", small}, {"big-stored.dat", big}});
}

TEST(ExtractionOnCores, LinesFollowTheArchiveWhateverOrderEntriesFinishIn) {
    ZipBuilder b;
    b.add("first.mn3", bytes(3000, 1));
    b.add("second.txt", bytes(2000, 2));
    b.add("damaged.dat", bytes(1500, 3)).crc = 7;
    b.add("last.hog", bytes(1000, 4));

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
    expectOnCores(b, tuning,
                  {"Unzipped File: [first.mn3].", "Unzipped File: [second.txt].",
                   "WARNING: File [damaged.dat] is damaged and was not unzipped.",
                   "Unzipped File: [last.hog]."},
                  {{"first.mn3", bytes(3000, 1)},
                   {"second.txt", bytes(2000, 2)},
                   {"last.hog", bytes(1000, 4)}});
    ASSERT_EQ(finished.size(), 4u);
    EXPECT_EQ(finished.back(), 3000u);
}

}  // namespace
}  // namespace torv::test
