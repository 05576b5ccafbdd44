// The byte range each entry takes in the file, as the extraction step checks for overlaps.
#include <gtest/gtest.h>

#include <string>

#include "support/temp_dir.h"
#include "support/zip_builder.h"
#include "zip/ZipArchive.h"
#include "zip_test_util.h"

namespace torv::test {
namespace {

TEST(ZipEntrySpan, CoversHeaderNameExtraAndData) {
    TempDir dir;
    ZipBuilder b;
    b.prefix = "some bytes in front";
    b.add("first.txt", levelText(4000)).localExtra = std::string(40, 'x');
    b.add("second.bin", noise(3000), 0).dataDescriptor = true;
    b.add("third/", "", 0);
    ZipLayout layout;
    ArchivePtr archive = openArchive(dir.write("s.zip", b.build(&layout)));
    ASSERT_EQ(ZipArchiveGetEntryCount(archive.get()), 3);
    for (int i = 0; i < 3; ++i) {
        ZipEntrySpan span{};
        ASSERT_EQ(ZipArchiveGetEntrySpan(archive.get(), i, &span), 0) << i;
        EXPECT_EQ(span.start, layout.localHeaderOffsets[size_t(i)]) << i;
        EXPECT_EQ(span.end, layout.dataEnds[size_t(i)]) << i;
    }
}

TEST(ZipEntrySpan, ShowsEntriesThatShareTheirData) {
    TempDir dir;
    ZipBuilder b;
    b.add("a.txt", levelText(2000));
    b.add("b.txt", levelText(2000)).localHeaderOffset = 0;
    ArchivePtr archive = openArchive(dir.write("s.zip", b.build()));
    ZipEntrySpan a{}, c{};
    ASSERT_EQ(ZipArchiveGetEntrySpan(archive.get(), 0, &a), 0);
    ASSERT_EQ(ZipArchiveGetEntrySpan(archive.get(), 1, &c), 0);
    EXPECT_EQ(a.start, c.start);
    EXPECT_EQ(a.end, c.end);
}

TEST(ZipEntrySpan, LeavesAnOpenEntryReadingOn) {
    for (uint16_t method : {0, 8}) {
        TempDir dir;
        ZipBuilder b;
        b.add("big", noise(50000), method);
        b.add("other", levelText(9000));
        ArchivePtr archive = openArchive(dir.write("s.zip", b.build()));
        ASSERT_EQ(ZipArchiveOpenEntry(archive.get(), 0), 0);
        std::string data;
        uint8_t buffer[1024];
        int n = 0;
        for (int i = 0; i < 200 && (n = ZipArchiveReadEntry(archive.get(), buffer, 1024)) == 1024;
             ++i) {
            data.append(reinterpret_cast<char*>(buffer), 1024);
            ZipEntrySpan span{};
            ASSERT_EQ(ZipArchiveGetEntrySpan(archive.get(), i % 2, &span), 0);
        }
        ASSERT_GE(n, 0);
        data.append(reinterpret_cast<char*>(buffer), size_t(n));
        EXPECT_EQ(data, b.entries[0].data) << "method " << method;
        EXPECT_EQ(ZipArchiveCloseEntry(archive.get()), 0) << "method " << method;
    }
}

TEST(ZipEntrySpan, RefusesWhatItCannotMeasure) {
    TempDir dir;
    ZipBuilder b;
    b.add("good", "data");
    b.add("bad signature", "data").localHeaderOffset = 2;
    b.add("past the end", "data").localHeaderOffset = 0x7FFFFFF0;
    ArchivePtr archive = openArchive(dir.write("s.zip", b.build()));
    ASSERT_EQ(ZipArchiveGetEntryCount(archive.get()), 3);
    ZipEntrySpan span{};
    struct Case {
        ZipArchive* archive;
        int index;
        int error;
    };
    const Case cases[] = {{nullptr, 0, 0},
                          {archive.get(), -1, ZIPERR_BAD_INDEX},
                          {archive.get(), 3, ZIPERR_BAD_INDEX},
                          {archive.get(), 1, 0},
                          {archive.get(), 2, 0}};
    for (const Case& c : cases) {
        ZipArchiveLastError = 0;
        EXPECT_EQ(ZipArchiveGetEntrySpan(c.archive, c.index, &span), -1) << c.index;
        EXPECT_EQ(ZipArchiveLastError, c.error) << c.index;
    }
    EXPECT_EQ(ZipArchiveGetEntrySpan(archive.get(), 0, &span), 0);
}

TEST(ZipEntrySpan, ShortLocalHeaderAtEndOfFile) {
    TempDir dir;
    ZipBuilder b;
    b.add("x", "data");
    b.comment = std::string("PK\x03\x04", 4) + "123456";
    ZipLayout layout;
    std::string bytes = b.build(&layout);
    // The last 10 bytes start like a local header, which cannot be whole there.
    patch32(bytes, size_t(layout.directoryOffset + 42), uint32_t(bytes.size() - 10));
    ArchivePtr archive = openArchive(dir.write("s.zip", bytes));
    ASSERT_EQ(ZipArchiveGetEntryCount(archive.get()), 1);
    ZipEntrySpan span{};
    EXPECT_EQ(ZipArchiveGetEntrySpan(archive.get(), 0, &span), -1);
    EXPECT_EQ(ZipArchiveOpenEntry(archive.get(), 0), -1);
}

}  // namespace
}  // namespace torv::test
