// Reading entries: stored and deflated data, the checks at open and at close, damaged data.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "support/zip_builder.h"
#include "zip/ZipArchive.h"
#include "zip_test_util.h"

namespace torv::test {
namespace {

using namespace std::string_literals;

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
    if (c.open != Open::Yes) {
        EXPECT_EQ(r.open, -1);
        ZipEntryInfo info{};
        EXPECT_EQ(ZipArchiveGetEntryInfo(archive.get(), 0, &info), 0);
        ZipEntrySpan span{};
        EXPECT_EQ(ZipArchiveGetEntrySpan(archive.get(), 0, &span),
                  c.open == Open::RefusedSpanKept ? 0 : -1);
        EXPECT_EQ(ZipArchiveLastError, 0);
        EXPECT_EQ(ZipArchiveCloseEntry(archive.get()), c.close);
        EXPECT_EQ(ZipArchiveLastError, ZIPERR_NO_ENTRY_OPEN);
    } else {
        ASSERT_EQ(r.open, 0);
        EXPECT_EQ(r.close, c.close);
    }
    if (!c.reads.empty()) {
        EXPECT_EQ(r.reads, c.reads);
    }
    if (c.dataMatches) {
        EXPECT_EQ(r.data, b.entries[0].data.substr(0, c.reads.empty() ? std::string::npos
                                                                       : r.data.size()));
    }
    // Whatever happened to the entry, the archive stays usable.
    EXPECT_EQ(readEntry(archive.get(), 1).data, b.entries[1].data);

    // The whole-entry path refuses what the 1024-byte steps refuse and delivers what they do.
    const EntryRead steps = readEntry(archive.get(), 0);
    const bool stepsWhole =
        steps.open == 0 && steps.close == 0 &&
        std::find(steps.reads.begin(), steps.reads.end(), -1) == steps.reads.end();
    const std::optional<std::string> whole = extractWhole(archive.get(), 0);
    EXPECT_EQ(whole.has_value(), stepsWhole);
    if (whole && stepsWhole) {
        EXPECT_EQ(*whole, steps.data);
    }
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

// The open entry reads from the shared file, so every other call must leave its position alone.
TEST(ZipEntryRead, OneEntryAtATime) {
    TempDir dir;
    ZipBuilder b;
    b.add("a", noise(10000), 0);
    b.add("b", "bee", 0);
    ArchivePtr archive = openArchive(dir.write("a.zip", b.build()));
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
    ZipEntrySpan span{};
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
    const EntryRead r = readEntry(archive.get(), 0);
    EXPECT_EQ(r.data, b.entries[0].data);
    EXPECT_EQ(r.close, 0);
}

}  // namespace
}  // namespace torv::test
