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

struct ReadCase {
    const char* name;
    std::function<void(ZipBuilder&)> make;  // adds the entry under test as entry 0
    uint32_t chunk;
    std::vector<int> reads;  // empty: not checked, the data must match instead
    int close;
    bool dataMatches;  // the bytes delivered are the entry's content
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

    const EntryRead r = readEntry(archive.get(), 0, c.chunk);
    ASSERT_EQ(r.open, 0);
    if (!c.reads.empty()) {
        EXPECT_EQ(r.reads, c.reads);
    }
    EXPECT_EQ(r.close, c.close);
    if (c.dataMatches) {
        EXPECT_EQ(r.data, b.entries[0].data);
    }
    // Whatever happened to the entry, the archive stays usable.
    EXPECT_EQ(readEntry(archive.get(), 1).data, b.entries[1].data);

    // The whole-entry path refuses what the 1024-byte steps refuse and delivers what they do.
    const EntryRead steps = readEntry(archive.get(), 0);
    const bool stepsWhole = steps.close == 0 && std::find(steps.reads.begin(), steps.reads.end(),
                                                          -1) == steps.reads.end();
    const std::optional<std::string> whole = extractWhole(archive.get(), 0);
    EXPECT_EQ(whole.has_value(), stepsWhole);
    if (whole && stepsWhole) {
        EXPECT_EQ(*whole, steps.data);
    }
}

std::string cutInHalf(const std::string& s) {
    return s.substr(0, s.size() / 2);
}

// clang-format off
const ReadCase kReadCases[] = {
    {"StoredThreeFullChunks", [](ZipBuilder& b) { b.add("s", noise(3072), 0); }, 1024, {1024, 1024, 1024, 0}, 0, true},
    {"DeflatedThreeFullChunks", [](ZipBuilder& b) { b.add("d", levelText(3072)); }, 1024, {1024, 1024, 1024, 0}, 0, true},
    {"StoredEmpty", [](ZipBuilder& b) { b.add("s", "", 0); }, 1024, {0}, 0, true},
    {"DeflatedEmpty", [](ZipBuilder& b) { b.add("d", ""); }, 1024, {0}, 0, true},
    {"StoredPartialLastChunk", [](ZipBuilder& b) { b.add("s", noise(2500), 0); }, 1024, {1024, 1024, 452}, 0, true},
    {"DeflatedLargeNoise", [](ZipBuilder& b) { b.add("d", noise(300000)); }, 1024, {}, 0, true},
    {"DeflatedOneByteReads", [](ZipBuilder& b) { b.add("d", levelText(5000)); }, 1, {}, 0, true},
    {"DeflatedInOneRead", [](ZipBuilder& b) { b.add("d", levelText(200000)); }, 1 << 20, {200000}, 0, true},
    {"DataDescriptor", [](ZipBuilder& b) { b.add("d", levelText(9000)).dataDescriptor = true; }, 1024, {}, 0, true},
    {"LocalExtraLongerThanCentral", [](ZipBuilder& b) { b.add("d", levelText(4000)).localExtra = std::string(777, 'x'); }, 1024, {}, 0, true},
    {"SameLengthLocalNameOpens", [](ZipBuilder& b) { b.add("name.txt", "content").localName = "NAME.TXT"; }, 1024, {7}, 0, true},
    {"LocalFlagsDifferAboveLowBits", [](ZipBuilder& b) { b.add("d", "utf8 flag").localFlags = 0x0800; }, 1024, {9}, 0, true},
    {"StoredWrongCrc", [](ZipBuilder& b) { b.add("s", noise(3000), 0).crc = 0x12345678; }, 1024, {1024, 1024, 952}, -1, true},
    {"DeflatedWrongCrc", [](ZipBuilder& b) { b.add("d", levelText(3000)).crc = 1; }, 1024, {}, -1, true},
    {"StoredDataRunsOutEarly", [](ZipBuilder& b) { ZipBuilderEntry& e = b.add("s", noise(3072), 0); e.payload = e.data.substr(0, 1500); }, 1024, {1024, 476}, -1, false},
    {"StoredDataRunsOutOnChunkBoundary", [](ZipBuilder& b) { ZipBuilderEntry& e = b.add("s", noise(3072), 0); e.payload = e.data.substr(0, 2048); }, 1024, {1024, 1024, 0}, -1, false},
    {"StoredDataCutByEndOfFile", [](ZipBuilder& b) { ZipBuilderEntry& e = b.add("s", noise(5000), 0); e.compressedSize = e.uncompressedSize = 1 << 20; }, 1 << 20, {-1}, -1, false},
    {"StoredDataLongerThanSize", [](ZipBuilder& b) { ZipBuilderEntry& e = b.add("s", noise(2000), 0); e.payload = e.data + "trailing bytes"; }, 1024, {1024, 976}, 0, true},
    {"DeflateUndetectedDamageFailsCrc", [](ZipBuilder& b) { ZipBuilderEntry& e = b.add("d", noise(5000)); e.payload = rawDeflate(e.data, 0); (*e.payload)[2000] ^= 0x40; }, 1024, {}, -1, false},
    {"DeflateRejectedData", [](ZipBuilder& b) { b.add("d", levelText(5000)).payload = std::string(64, '\xFF'); }, 1024, {-1}, -1, false},
    {"DeflateStreamCutShort", [](ZipBuilder& b) { ZipBuilderEntry& e = b.add("d", noise(20000)); e.payload = cutInHalf(rawDeflate(e.data)); }, 1024, {}, -1, false},
    {"DeflateStreamLongerThanSize", [](ZipBuilder& b) { b.add("d", noise(3072)).uncompressedSize = 1024; }, 1024, {1024, -1}, -1, false},
    // One stored block not marked final: the bytes are all there, the end is not.
    {"DeflateStreamWithoutFinalBlock", [](ZipBuilder& b) { ZipBuilderEntry& e = b.add("d", noise(1000)); e.payload = std::string("\x00\xE8\x03\x17\xFC", 5) + e.data; }, 1024, {1000}, 0, true},
    {"DeflateStreamShorterThanSize", [](ZipBuilder& b) { b.add("d", levelText(3000)).uncompressedSize = 4000; }, 1024, {1024, 1024, 952}, -1, false},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Zip, EntryReadTest, ::testing::ValuesIn(kReadCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct OpenCase {
    const char* name;
    std::function<void(ZipBuilder&)> make;
    bool headerReadable;  // the entry's byte range can still be measured
};

class EntryOpenRefusedTest : public ::testing::TestWithParam<OpenCase> {};

TEST_P(EntryOpenRefusedTest, RefusesWithoutSettingAnError) {
    TempDir dir;
    ZipBuilder b;
    GetParam().make(b);
    ArchivePtr archive = openArchive(dir.write("o.zip", b.build()));
    ASSERT_EQ(ZipArchiveGetEntryCount(archive.get()), 1);
    ZipEntryInfo info{};
    EXPECT_EQ(ZipArchiveGetEntryInfo(archive.get(), 0, &info), 0);
    ZipArchiveLastError = 0;
    EXPECT_EQ(ZipArchiveOpenEntry(archive.get(), 0), -1);
    EXPECT_FALSE(extractWhole(archive.get(), 0));
    ZipEntrySpan span{};
    EXPECT_EQ(ZipArchiveGetEntrySpan(archive.get(), 0, &span), GetParam().headerReadable ? 0 : -1);
    EXPECT_EQ(ZipArchiveLastError, 0);
    // Nothing stays open after a refusal.
    EXPECT_EQ(ZipArchiveCloseEntry(archive.get()), -1);
    EXPECT_EQ(ZipArchiveLastError, ZIPERR_NO_ENTRY_OPEN);
}

// A comment ending in 10 bytes that start like a local header, which cannot be whole there.
void shortLocalHeaderAtEnd(ZipBuilder& b) {
    b.add("x", "data");
    b.comment = std::string("PK\x03\x04", 4) + "123456";
    b.entries[0].localHeaderOffset = uint32_t(b.build().size() - 10);
}

// clang-format off
const OpenCase kOpenCases[] = {
    {"Method12", [](ZipBuilder& b) { b.add("x.bz2", "data", 12); }, true},
    {"Method9", [](ZipBuilder& b) { b.add("x", "data", 9); }, true},
    {"WrongLocalSignature", [](ZipBuilder& b) { b.add("x", "data").localHeaderOffset = 1; }, false},
    {"LocalHeaderPastEnd", [](ZipBuilder& b) { b.add("x", "data").localHeaderOffset = 0xFFFFFFF0u; }, false},
    {"ShortLocalHeaderAtEnd", shortLocalHeaderAtEnd, false},
    {"LocalFlagsDifferInLowBits", [](ZipBuilder& b) { b.add("x", "data").localFlags = 0x01; }, true},
    {"LocalMethodDiffers", [](ZipBuilder& b) { b.add("x", "data").localMethod = 0; }, true},
    {"LocalNameLonger", [](ZipBuilder& b) { b.add("x.txt", "data").localName = "xx.txt"; }, true},
    {"NameWithNulInside", [](ZipBuilder& b) { b.add(std::string("a\0b", 3), "data", 0); }, true},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Zip, EntryOpenRefusedTest, ::testing::ValuesIn(kOpenCases),
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

// Damage in the middle of a stream: every byte before it arrives in full chunks, and the read
// that reaches it fails.
TEST(ZipEntryRead, DeflateDamageAfterGoodData) {
    const std::string content = noise(200000);
    std::string payload = rawDeflate(content, 0);
    // Level 0 writes stored blocks: a type byte, LEN, NLEN, then LEN bytes of content.
    ASSERT_EQ(payload[0], '\0');
    const size_t firstLength = uint8_t(payload[1]) | (uint8_t(payload[2]) << 8);
    ASSERT_GT(firstLength, 5000u);
    payload[5 + firstLength + 3] ^= 0x01;  // NLEN of the second block no longer matches LEN

    TempDir dir;
    ZipBuilder b;
    b.add("d", content).payload = payload;
    ArchivePtr archive = openArchive(dir.write("damaged.zip", b.build()));
    const EntryRead r = readEntry(archive.get(), 0);
    const size_t whole = firstLength / 1024;
    std::vector<int> expected(whole, 1024);
    expected.push_back(-1);
    EXPECT_EQ(r.reads, expected);
    EXPECT_EQ(r.data, content.substr(0, whole * 1024));
    EXPECT_EQ(r.close, -1);
}

// Offsets above 2 GiB: a sparse file with the archive's records at its end.
TEST(ZipEntryRead, ReadsEntriesBeyondTwoGigabytes) {
    TempDir dir;
    const uint64_t base = 3ull << 30;
    ZipBuilder b;
    b.add("far.txt", levelText(20000));
    b.add("far.bin", noise(3000), 0);
    ZipLayout layout;
    b.build(&layout);
    for (size_t i = 0; i < b.entries.size(); ++i) {
        b.entries[i].localHeaderOffset = uint32_t(base + layout.localHeaderOffsets[i]);
    }
    b.directoryOffset = uint32_t(base + layout.directoryOffset);
    const std::string bytes = b.build();
    const std::string path = dir.write("big.zip", "");
    std::filesystem::resize_file(path, base);
    ASSERT_TRUE(std::ofstream(path, std::ios::app | std::ios::binary) << bytes);
    ArchivePtr archive = openArchive(path);
    ASSERT_EQ(ZipArchiveGetEntryCount(archive.get()), 2);
    for (int i = 0; i < 2; ++i) {
        const EntryRead r = readEntry(archive.get(), i);
        EXPECT_EQ(r.data, b.entries[size_t(i)].data) << i;
        EXPECT_EQ(r.close, 0) << i;
    }
}

}  // namespace
}  // namespace torv::test
