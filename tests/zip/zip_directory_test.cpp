// Opening archives: finding the end record, reading the directory, update mode.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "support/temp_dir.h"
#include "support/zip_builder.h"
#include "zip/ZipArchive.h"
#include "zip_test_util.h"

namespace torv::test {
namespace {

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

struct DirectoryCase {
    const char* name;
    std::function<std::string()> bytes;
    int count;
    int error;  // ZipArchiveLastError after the open, which starts at 0
};

class DirectoryTest : public ::testing::TestWithParam<DirectoryCase> {};

TEST_P(DirectoryTest, OpensWithExpectedEntries) {
    const DirectoryCase& c = GetParam();
    TempDir dir;
    const std::string path = dir.write("a.zip", c.bytes());
    ZipArchiveLastError = 0;
    ArchivePtr archive = openArchive(path);
    ASSERT_NE(archive, nullptr);
    EXPECT_EQ(ZipArchiveGetEntryCount(archive.get()), c.count);
    EXPECT_EQ(ZipArchiveLastError, c.error);
}

// clang-format off
const DirectoryCase kDirectoryCases[] = {
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

INSTANTIATE_TEST_SUITE_P(Zip, DirectoryTest, ::testing::ValuesIn(kDirectoryCases),
                         [](const auto& info) { return std::string(info.param.name); });

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

TEST(ZipDirectory, HandleCallsRefuseNullAndBadIndexes) {
    TempDir dir;
    ArchivePtr archive = openArchive(dir.write("a.zip", twoEntries().build()));
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
        {"read none open", [&] { uint8_t b[16]; return ZipArchiveReadEntry(archive.get(), b, sizeof b); }, 0},
        {"close null", [] { return ZipArchiveClose(nullptr); }, 0},
    };
    // clang-format on
    for (const Call& c : calls) {
        ZipArchiveLastError = 0;
        EXPECT_EQ(c.call(), -1) << c.what;
        EXPECT_EQ(ZipArchiveLastError, c.error) << c.what;
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

    ZipBuilder b = twoEntries();
    b.comment = "kept";
    const std::string bytes = b.build();
    const std::string path = dir.write("old.zip", bytes);
    archive = openArchive(path, 1);
    ASSERT_EQ(ZipArchiveGetEntryCount(archive.get()), 2);
    const EntryRead r = readEntry(archive.get(), 1);
    EXPECT_EQ(r.data, b.entries[1].data);
    EXPECT_EQ(r.close, 0);
    ASSERT_EQ(ZipArchiveOpenEntry(archive.get(), 0), 0);
    archive.reset();
    EXPECT_EQ(TempDir::read(path), bytes);
}

}  // namespace
}  // namespace torv::test
