// The zip reader: finding the end record and the directory, reading entries, update mode, and
// archives written by other tools.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "support/zip_builder.h"
#include "zip_test_util.h"

namespace torv::test {
namespace {

using namespace std::string_literals;

ZipBuilder twoEntries() {
    ZipBuilder b;
    b.add("level1.d3l", levelText(5000));
    b.add("sounds/boom.ogg", noise(2000), 0);
    return b;
}

// An archive whose end record starts `distance` bytes before the end of the file.
std::string endRecordAt(size_t distance) {
    ZipBuilder b = twoEntries();
    b.comment = std::string(distance - 22, 'c');
    return b.build();
}

TEST(ZipDirectory, OpensWithExpectedEntries) {
    struct Case {
        const char* name;
        std::function<std::string()> bytes;
        int count;
        int error;  // ZipArchiveLastError after the open, which starts at 0
    };
    // clang-format off
    const Case cases[] = {
        {"EmptyFile", [] { return std::string(); }, 0, ZIPERR_BAD_DIRECTORY},
        {"ThreeBytes", [] { return std::string("PK\x05", 3); }, 0, ZIPERR_BAD_DIRECTORY},
        {"OnlyAnEndRecord", [] { return ZipBuilder().build(); }, 0, 0},
        {"LargestEntryCount", [] { ZipBuilder b; for (int i = 0; i < 65535; ++i) { b.add(std::to_string(i), "", 0); } return b.build(); }, 65535, 0},
        {"LargestComment", [] { return endRecordAt(22 + 65535); }, 2, 0},
        {"EndRecordBeyondSearchLimit", [] { ZipBuilder b = twoEntries(); b.comment = std::string(65535, 'c'); b.trailer = "x"; return b.build(); }, 0, ZIPERR_BAD_DIRECTORY},
        // The first window holds the last 32768 bytes; these records lie across its seam.
        {"EndRecordJustInsideFirstWindow", [] { return endRecordAt(32768); }, 2, 0},
        {"SignatureAcrossSeamBy3", [] { return endRecordAt(32771); }, 2, 0},
        {"EndRecordInSecondWindow", [] { return endRecordAt(32772); }, 2, 0},
        {"SignatureAcrossSecondSeam", [] { return endRecordAt(65534); }, 2, 0},
        // A comment ending in an end record of an empty archive hides the real one.
        {"NearestSignatureWins", [] { ZipBuilder b = twoEntries(); b.comment = "see you" + ZipBuilder().build(); return b.build(); }, 0, 0},
        {"SignatureInsideEntryDataIsIgnored", [] { ZipBuilder b; b.add("fake.bin", ZipBuilder().build() + "tail", 0); b.add("real.txt", "real"); return b.build(); }, 2, 0},
        {"WrongDirectorySignature", [] { ZipLayout layout; std::string bytes = twoEntries().build(&layout); patch32(bytes, size_t(layout.directoryOffset), 0x02014B51); return bytes; }, 0, ZIPERR_BAD_DIRECTORY},
        {"WrongSecondRecordSignatureDropsAll", [] { ZipBuilder b = twoEntries(); b.entries[0].comment = "first"; ZipLayout layout; std::string bytes = b.build(&layout); patch32(bytes, size_t(layout.directoryOffset + 46 + 10 + 5), 0); return bytes; }, 0, ZIPERR_BAD_DIRECTORY},
        {"CountLargerThanDirectory", [] { ZipBuilder b = twoEntries(); b.totalEntries = 3; return b.build(); }, 0, ZIPERR_BAD_DIRECTORY},
        {"CountTheFileCannotHold", [] { ZipBuilder b = twoEntries(); b.totalEntries = 65535; return b.build(); }, 0, ZIPERR_BAD_DIRECTORY},
        {"DirectoryOffsetPastEnd", [] { ZipBuilder b = twoEntries(); b.directoryOffset = 0xFFFFFF00u; return b.build(); }, 0, ZIPERR_BAD_DIRECTORY},
        {"NameRunsPastEnd", [] { ZipLayout layout; std::string bytes = twoEntries().build(&layout); patch16(bytes, size_t(layout.directoryOffset + 28), 60000); return bytes; }, 0, ZIPERR_BAD_DIRECTORY},
        {"TruncatedEndRecord", [] { std::string bytes = twoEntries().build(); bytes.resize(bytes.size() - 5); return bytes; }, 0, ZIPERR_BAD_DIRECTORY},
        {"ExtrasAndCommentsSkipped", [] { ZipBuilder b = twoEntries(); b.entries[0].extra = std::string(300, 'e'); b.entries[0].comment = "a comment"; b.entries[1].comment = std::string(1000, 'k'); b.comment = "archive comment"; return b.build(); }, 2, 0},
    };
    // clang-format on
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ZipArchiveLastError = 0;
        ArchivePtr archive = openArchive(dir.write("a.zip", c.bytes()));
        ASSERT_NE(archive, nullptr);
        EXPECT_EQ(ZipArchiveGetEntryCount(archive.get()), c.count);
        EXPECT_EQ(ZipArchiveLastError, c.error);
    }
}

// The span is the byte range the extraction step checks for overlaps: header, name, extra, data.
TEST(ZipDirectory, ReportsNamesSizesAndSpansInDirectoryOrder) {
    TempDir dir;
    ZipBuilder b;
    b.prefix = "some bytes in front";
    b.add("b/second.txt", levelText(4000)).localExtra = std::string(40, 'x');
    b.add("a/first.bin", noise(70000), 0).dataDescriptor = true;
    b.add("empty/", "", 0);
    b.add(std::string("nul\0hidden", 10), "x", 0);
    ZipLayout layout;
    ArchivePtr archive = openArchive(dir.write("n.zip", b.build(&layout)));
    ASSERT_EQ(ZipArchiveGetEntryCount(archive.get()), 4);
    const std::pair<std::string, uint32_t> expected[] = {
        {"b/second.txt", 4000}, {"a/first.bin", 70000}, {"empty/", 0}, {"nul", 1}};
    for (int i = 0; i < 4; ++i) {
        ZipEntryInfo info{};
        ASSERT_EQ(ZipArchiveGetEntryInfo(archive.get(), i, &info), 0);
        EXPECT_EQ(std::string(info.name), expected[i].first) << i;
        EXPECT_EQ(info.size, expected[i].second) << i;
        ZipEntrySpan span{};
        ASSERT_EQ(ZipArchiveGetEntrySpan(archive.get(), i, &span), 0) << i;
        EXPECT_EQ(span.start, layout.localHeaderOffsets[size_t(i)]) << i;
        EXPECT_EQ(span.end, layout.dataEnds[size_t(i)]) << i;
    }
}

// Reading a missing archive opens nothing; update mode creates it where the folder exists and
// leaves an existing one as it was, even with an entry left open at the close.
TEST(ZipDirectory, UpdateModeCreatesOnlyAMissingArchive) {
    TempDir dir;
    ZipArchiveLastError = 0;
    EXPECT_EQ(ZipArchiveOpen(dir.file("none.zip").c_str(), 0), nullptr);
    EXPECT_EQ(ZipArchiveOpen(dir.file("no/such/folder.zip").c_str(), 1), nullptr);
    EXPECT_EQ(ZipArchiveLastError, 0);
    const std::string created = dir.file("new.zip");
    ArchivePtr archive = openArchive(created, 1);
    ASSERT_NE(archive, nullptr);
    EXPECT_EQ(ZipArchiveGetEntryCount(archive.get()), 0);
    EXPECT_EQ(ZipArchiveLastError, ZIPERR_BAD_DIRECTORY);
    EXPECT_EQ(ZipArchiveClose(archive.release()), 0);
    EXPECT_EQ(TempDir::read(created), ZipBuilder().build());

    const std::string path = dir.write("old.zip", endRecordAt(30));
    archive = openArchive(path, 1);
    ASSERT_EQ(ZipArchiveGetEntryCount(archive.get()), 2);
    EXPECT_EQ(readEntry(archive.get(), 1).data, noise(2000));
    ASSERT_EQ(ZipArchiveOpenEntry(archive.get(), 0), 0);
    archive.reset();
    EXPECT_EQ(TempDir::read(path), endRecordAt(30));
}

// A refused open sets no error, leaves nothing open, and keeps the byte range measurable only
// while the local header can be read.
enum class Open { Yes, RefusedSpanKept, RefusedSpanLost };

struct ReadCase {
    const char* name;
    std::function<void(ZipBuilder&)> make;  // adds the entry under test as entry 0
    uint32_t chunk;
    std::vector<int> reads;  // empty: not checked, the data must match instead
    int close;
    bool dataMatches;  // the bytes delivered are the entry's content, to where the reads stop
    Open open = Open::Yes;
};

class EntryReadTest : public ::testing::TestWithParam<ReadCase> {};

TEST_P(EntryReadTest, DeliversAndVerifies) {
    const ReadCase& c = GetParam();
    TempDir dir;
    ZipBuilder b;
    c.make(b);
    b.add("after.txt", "a neighbour that must not leak into the entry");
    ArchivePtr archive = openArchive(dir.write("r.zip", b.build()));
    ASSERT_EQ(ZipArchiveGetEntryCount(archive.get()), 2);

    ZipArchiveLastError = 0;
    const EntryRead r = readEntry(archive.get(), 0, c.chunk);
    ASSERT_EQ(r.open, c.open == Open::Yes ? 0 : -1);
    EXPECT_EQ(r.close, c.close);
    EXPECT_EQ(ZipArchiveLastError, 0);
    ZipEntrySpan span{};
    EXPECT_EQ(ZipArchiveGetEntrySpan(archive.get(), 0, &span),
              c.open == Open::RefusedSpanLost ? -1 : 0);
    if (!c.reads.empty()) {
        EXPECT_EQ(r.reads, c.reads);
    }
    if (c.dataMatches) {
        EXPECT_EQ(r.data,
                  b.entries[0].data.substr(0, c.reads.empty() ? std::string::npos : r.data.size()));
    }
    // Whatever happened to the entry, nothing stays open and the archive stays usable.
    EXPECT_EQ(readEntry(archive.get(), 1).data, b.entries[1].data);

    // The whole-entry path refuses what the 1024-byte steps refuse and delivers what they do.
    const EntryRead steps = readEntry(archive.get(), 0);
    EXPECT_EQ(extractWhole(archive.get(), 0),
              steps.close == 0 ? std::optional(steps.data) : std::nullopt);
}

// clang-format off
const ReadCase kReadCases[] = {
    {"DeflatedThreeFullChunks", [](ZipBuilder& b) { b.add("d", levelText(3072)); }, 1024, {1024, 1024, 1024, 0}, 0, true},
    {"StoredEmpty", [](ZipBuilder& b) { b.add("s", "", 0); }, 1024, {0}, 0, true},
    {"DeflatedEmpty", [](ZipBuilder& b) { b.add("d", ""); }, 1024, {0}, 0, true},
    {"StoredPartialLastChunk", [](ZipBuilder& b) { b.add("s", noise(2500), 0); }, 1024, {1024, 1024, 452}, 0, true},
    {"DeflatedOneByteReads", [](ZipBuilder& b) { b.add("d", levelText(5000)); }, 1, {}, 0, true},
    {"DeflatedInOneRead", [](ZipBuilder& b) { b.add("d", levelText(200000)); }, 1 << 20, {200000}, 0, true},
    {"DataDescriptor", [](ZipBuilder& b) { b.add("d", levelText(9000)).dataDescriptor = true; }, 1024, {}, 0, true},
    {"LocalExtraLongerThanCentral", [](ZipBuilder& b) { b.add("d", levelText(4000)).localExtra = std::string(777, 'x'); }, 1024, {}, 0, true},
    {"SameLengthLocalNameOpens", [](ZipBuilder& b) { b.add("name.txt", "content").localName = "NAME.TXT"; }, 1024, {7}, 0, true},
    {"LocalFlagsDifferAboveLowBits", [](ZipBuilder& b) { b.add("d", "utf8 flag").localFlags = 0x0800; }, 1024, {9}, 0, true},
    {"StoredWrongCrc", [](ZipBuilder& b) { b.add("s", noise(3000), 0).crc = 0x12345678; }, 1024, {1024, 1024, 952}, -1, true},
    {"StoredDataRunsOutOnChunkBoundary", [](ZipBuilder& b) { ZipBuilderEntry& e = b.add("s", noise(3072), 0); e.payload = e.data.substr(0, 2048); }, 1024, {1024, 1024, 0}, -1, false},
    {"StoredDataCutByEndOfFile", [](ZipBuilder& b) { ZipBuilderEntry& e = b.add("s", noise(5000), 0); e.compressedSize = e.uncompressedSize = 1 << 20; }, 1 << 20, {-1}, -1, false},
    {"StoredDataLongerThanSize", [](ZipBuilder& b) { ZipBuilderEntry& e = b.add("s", noise(2000), 0); e.payload = e.data + "trailing bytes"; }, 1024, {1024, 976}, 0, true},
    {"DeflateUndetectedDamageFailsCrc", [](ZipBuilder& b) { ZipBuilderEntry& e = b.add("d", noise(5000)); e.payload = rawDeflate(e.data, 0); (*e.payload)[2000] ^= 0x40; }, 1024, {}, -1, false},
    {"DeflateRejectedData", [](ZipBuilder& b) { b.add("d", levelText(5000)).payload = std::string(64, '\xFF'); }, 1024, {-1}, -1, false},
    {"DeflateStreamCutShort", [](ZipBuilder& b) { ZipBuilderEntry& e = b.add("d", noise(20000)); e.payload = rawDeflate(e.data).substr(0, 10000); }, 1024, {}, -1, false},
    {"DeflateStreamLongerThanSize", [](ZipBuilder& b) { b.add("d", noise(3072)).uncompressedSize = 1024; }, 1024, {1024, -1}, -1, false},
    // One stored block not marked final: the bytes are all there, the end is not.
    {"DeflateStreamWithoutFinalBlock", [](ZipBuilder& b) { ZipBuilderEntry& e = b.add("d", noise(1000)); e.payload = std::string("\x00\xE8\x03\x17\xFC", 5) + e.data; }, 1024, {1000}, 0, true},
    // Every byte before damage in a second stored block arrives in full chunks.
    {"DeflateDamageAfterGoodData", [](ZipBuilder& b) { ZipBuilderEntry& e = b.add("d", noise(6000)); e.payload = "\x00\x88\x13\x77\xEC"s + e.data.substr(0, 5000) + "\x01\xE8\x03\x17\xFD"s + e.data.substr(5000); }, 1024, {1024, 1024, 1024, 1024, -1}, -1, true},
    {"DeflateStreamShorterThanSize", [](ZipBuilder& b) { b.add("d", levelText(3000)).uncompressedSize = 4000; }, 1024, {1024, 1024, 952}, -1, false},
    {"Method12", [](ZipBuilder& b) { b.add("x.bz2", "data", 12); }, 1024, {}, -1, false, Open::RefusedSpanKept},
    {"WrongLocalSignature", [](ZipBuilder& b) { b.add("x", "data").localHeaderOffset = 1; }, 1024, {}, -1, false, Open::RefusedSpanLost},
    {"LocalHeaderPastEnd", [](ZipBuilder& b) { b.add("x", "data").localHeaderOffset = 0xFFFFFFF0u; }, 1024, {}, -1, false, Open::RefusedSpanLost},
    {"LocalFlagsDifferInLowBits", [](ZipBuilder& b) { b.add("x", "data").localFlags = 0x01; }, 1024, {}, -1, false, Open::RefusedSpanKept},
    {"LocalMethodDiffers", [](ZipBuilder& b) { b.add("x", "data").localMethod = 0; }, 1024, {}, -1, false, Open::RefusedSpanKept},
    {"LocalNameLonger", [](ZipBuilder& b) { b.add("x.txt", "data").localName = "xx.txt"; }, 1024, {}, -1, false, Open::RefusedSpanKept},
    {"NameWithNulInside", [](ZipBuilder& b) { b.add(std::string("a\0b", 3), "data", 0); }, 1024, {}, -1, false, Open::RefusedSpanKept},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Zip, EntryReadTest, ::testing::ValuesIn(kReadCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Calls on a null archive, with a bad index or with no entry open are refused. One entry is open
// at a time; it reads from the shared file, so every other call must leave its position alone.
TEST(ZipEntryRead, HandleCallsAndOneEntryAtATime) {
    TempDir dir;
    ZipBuilder b;
    b.add("a", noise(10000), 0);
    b.add("b", "bee", 0);
    ArchivePtr archive = openArchive(dir.write("a.zip", b.build()));
    ZipEntryInfo info{};
    ZipEntrySpan span{};
    struct Call {
        const char* what;
        std::function<int()> call;
        int error;  // expected ZipArchiveLastError, which starts at 0
    };
    // clang-format off
    const Call calls[] = {
        {"count of null", [] { return ZipArchiveGetEntryCount(nullptr); }, 0},
        {"info of null", [&] { return ZipArchiveGetEntryInfo(nullptr, 0, &info); }, 0},
        {"info -1", [&] { return ZipArchiveGetEntryInfo(archive.get(), -1, &info); }, ZIPERR_BAD_INDEX},
        {"info count", [&] { return ZipArchiveGetEntryInfo(archive.get(), 2, &info); }, ZIPERR_BAD_INDEX},
        {"open null", [] { return ZipArchiveOpenEntry(nullptr, 0); }, ZIPERR_BAD_INDEX},
        {"open count", [&] { return ZipArchiveOpenEntry(archive.get(), 2); }, ZIPERR_BAD_INDEX},
        {"span count", [&] { return ZipArchiveGetEntrySpan(archive.get(), 2, &span); }, ZIPERR_BAD_INDEX},
        {"close entry none open", [&] { return ZipArchiveCloseEntry(archive.get()); }, ZIPERR_NO_ENTRY_OPEN},
        {"close entry null", [] { return ZipArchiveCloseEntry(nullptr); }, 0},
        {"read none open", [&] { uint8_t out[16]; return ZipArchiveReadEntry(archive.get(), out, sizeof out); }, 0},
        {"close null", [] { return ZipArchiveClose(nullptr); }, 0},
    };
    // clang-format on
    for (const Call& c : calls) {
        ZipArchiveLastError = 0;
        EXPECT_EQ(c.call(), -1) << c.what;
        EXPECT_EQ(ZipArchiveLastError, c.error) << c.what;
    }
    ASSERT_EQ(ZipArchiveOpenEntry(archive.get(), 0), 0);
    ZipArchiveLastError = 0;
    EXPECT_EQ(ZipArchiveOpenEntry(archive.get(), 1), -1);
    EXPECT_EQ(ZipArchiveOpenEntry(archive.get(), 0), -1);
    EXPECT_EQ(ZipArchiveLastError, 0);
    uint8_t buffer[100];
    EXPECT_EQ(ZipArchiveReadEntry(archive.get(), nullptr, 100), -1);
    EXPECT_EQ(ZipArchiveReadEntry(archive.get(), buffer, 0), -1);
    const auto readNext = [&](size_t at) {
        EXPECT_EQ(ZipArchiveReadEntry(archive.get(), buffer, 100), 100);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 100),
                  b.entries[0].data.substr(at, 100));
    };
    readNext(0);
    EXPECT_EQ(extractWhole(archive.get(), 1), "bee");
    readNext(100);
    EXPECT_EQ(ZipArchiveGetEntrySpan(archive.get(), 1, &span), 0);
    readNext(200);
    EXPECT_EQ(ZipArchiveCloseEntry(archive.get()), -1);  // closed early
    EXPECT_EQ(readEntry(archive.get(), 1).data, "bee");
    // Too little room for the entry is a refusal, not an overrun.
    EXPECT_EQ(ZipArchiveExtractEntry(archive.get(), 0, buffer, sizeof buffer), -1);
}

// Offsets above 2 GiB: a sparse file with the archive's records at its end.
TEST(ZipEntryRead, ReadsEntriesBeyondTwoGigabytes) {
    TempDir dir;
    const uint64_t base = 3ull << 30;
    ZipBuilder b;
    b.add("far.txt", levelText(20000));
    ZipLayout layout;
    b.build(&layout);
    b.entries[0].localHeaderOffset = uint32_t(base + layout.localHeaderOffsets[0]);
    b.directoryOffset = uint32_t(base + layout.directoryOffset);
    const std::string path = dir.write("big.zip", "");
    std::filesystem::resize_file(path, base);
    ASSERT_TRUE(std::ofstream(path, std::ios::app | std::ios::binary) << b.build());
    ArchivePtr archive = openArchive(path);
    ASSERT_EQ(ZipArchiveGetEntryCount(archive.get()), 1);
    EXPECT_EQ(readEntry(archive.get(), 0).data, b.entries[0].data);
}

// Archives written by other tools read back the files they were made from.
TEST(ZipForeignArchives, EveryEntryMatchesItsFile) {
    TempDir dir;
    dir.write("src/mission.mn3", noise(150000, 7));
    dir.write("src/level1.d3l", levelText(400000));
    dir.write("src/readme.txt", "Fly safe.\r\n");
    dir.write("src/empty.txt", "");
    dir.write("src/sounds/engine.ogg", noise(1024 * 3, 9));
    // Each runs inside the folder "src" and writes the archive "out.zip" beside it.
    for (const char* tool : {
             "zip -q -r ../out.zip . -x '.*'",
             "echo 'mission pack' | zip -q -r -0 -z ../out.zip .",
             "zip -q -r -fz- - . | cat > ../out.zip",
             "bsdtar --format zip -cf ../out.zip .",
             "bsdtar --format zip --options zip:compression=store -cf ../out.zip .",
         }) {
        SCOPED_TRACE(tool);
        const std::string command = "cd '" + dir.path() + "/src' && rm -f ../out.zip && " + tool;
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        ArchivePtr archive = openArchive(dir.file("out.zip"));  // a null archive counts -1
        const int count = ZipArchiveGetEntryCount(archive.get());
        ASSERT_GE(count, 5);
        for (int i = 0; i < count; ++i) {
            ZipEntryInfo info{};
            ASSERT_EQ(ZipArchiveGetEntryInfo(archive.get(), i, &info), 0);
            const std::string name = info.name;
            const EntryRead r = readEntry(archive.get(), i);
            EXPECT_EQ(r.close, 0) << name;  // also -1 when the entry did not open
            EXPECT_EQ(r.data.size(), info.size) << name;
            const std::string file =
                name.back() == '/' ? "" : TempDir::read(dir.file("src/" + name));
            EXPECT_TRUE(r.data == file) << name << ": contents differ";
        }
    }
}

}  // namespace
}  // namespace torv::test
