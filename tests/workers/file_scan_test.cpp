#include "workers/FileScanners.h"

#include <gtest/gtest.h>
#include <chrono>
#include <ostream>
#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "workers/scan_test_util.h"

namespace torv {
namespace {

using namespace std::string_literals;
using test::OpenForScan;
using test::ScanRun;
using test::ScanToEnd;

struct Hit {
    QString url;
    std::string rest;  // what is left unread behind the line that held the URL
};

struct ScanCase {
    const char* name;
    std::string content;
    std::vector<Hit> hits;
};

void PrintTo(const ScanCase& row, std::ostream* out) {
    *out << row.name;
}

ScanRun ScanContent(FileScanner scanner, const std::string& content) {
    test::TempDir dir;
    const std::string path = dir.write("dropped", content);
    test::FilePtr file = OpenForScan(path);
    EXPECT_NE(file, nullptr);
    return ScanToEnd(scanner, file.get(), qint64(content.size()));
}

void ExpectHits(const ScanRun& run, const ScanCase& row) {
    ASSERT_TRUE(run.finished);
    ASSERT_EQ(run.urls.size(), row.hits.size());
    for (std::size_t i = 0; i < row.hits.size(); ++i) {
        EXPECT_EQ(run.urls[i], row.hits[i].url) << "hit " << i;
        EXPECT_EQ(run.offsets[i], long(row.content.size() - row.hits[i].rest.size()))
            << "hit " << i;
    }
}

std::string Repeat(char c, std::size_t count) {
    return std::string(count, c);
}

class TextScanTest : public ::testing::TestWithParam<ScanCase> {};

TEST_P(TextScanTest, FindsOneUrlPerLineInFileOrder) {
    ExpectHits(ScanContent(&ScanTextFile, GetParam().content), GetParam());
}

INSTANTIATE_TEST_SUITE_P(
    Files, TextScanTest,
    ::testing::Values(
        ScanCase{
            "UrlsOnLinesTwoAndFive",
            "intro\nget http://a/b/ now\nx\ny\nmirror http://c/d/e.zip\nend\n",
            {{"http://a/b/", "x\ny\nmirror http://c/d/e.zip\nend\n"}, {"http://c/d/", "end\n"}}},
        ScanCase{"LastLineWithoutLineFeed", "x\nhttp://a/b/", {{"http://a/b/", ""}}},
        ScanCase{"LongLineIsExaminedInPieces",
                 Repeat('x', 1023) + "http://b/c/\nz\n",
                 {{"http://b/c/", "z\n"}}},
        ScanCase{"SchemeSplitByThePieceLimitIsNotSeen", Repeat('x', 1020) + "http://z/\n", {}},
        ScanCase{"NulEndsTheLine", "abc\0 http://a/b/\n"s, {}}, ScanCase{"EmptyFile", "", {}}),
    [](const ::testing::TestParamInfo<ScanCase>& info) { return std::string(info.param.name); });

class MarkedScanTest : public ::testing::TestWithParam<ScanCase> {};

TEST_P(MarkedScanTest, FindsTheUrlInTheLineBehindEachMarker) {
    ExpectHits(ScanContent(&ScanMarkedFile, GetParam().content), GetParam());
}

INSTANTIATE_TEST_SUITE_P(
    Files, MarkedScanTest,
    ::testing::Values(
        ScanCase{"MarkerFollowedByUrl",
                 "\x01\x02URL http://a/b/c.zip\n\x7f"
                 "data",
                 {{"http://a/b/",
                   "\x7f"
                   "data"}}},
        ScanCase{"UrlWithoutMarkerIsNotSeen", "home http://a/b/\n", {}},
        ScanCase{"LowerCaseMarkerIsNoMarker", "url http://a/b/\n", {}},
        ScanCase{"MarkerInsideAConsumedLineIsNotSeen",
                 "URL" + Repeat('x', 1000) + "URL" + Repeat('y', 30) + " http://a/b/\n",
                 {}},
        ScanCase{"NextLineIsScannedAgain", "URL none\nURL http://c/d/\n", {{"http://c/d/", ""}}},
        ScanCase{"DoubledFirstLetterHidesTheMarker", "UURL http://a/b/\n", {}},
        ScanCase{"RepeatedStartHidesTheMarker", "URURL http://a/b/\n", {}},
        ScanCase{"ThirdLetterUStartsAfresh", "UUURL http://a/b/\n", {{"http://a/b/", ""}}},
        ScanCase{"MarkerAsTheLastBytes", "data http://x/y/ URL", {}},
        ScanCase{"MarkerAtTheEndAfterAHit", "URL http://a/b/\nURL", {{"http://a/b/", "URL"}}},
        ScanCase{"UrlUpToTheEndOfFile", "URL http://a/b/", {{"http://a/b/", ""}}},
        ScanCase{"UrlWithinTheFirst1023Bytes",
                 "URL" + Repeat('x', 1000) + " http://a/b/\nz",
                 {{"http://a/b/", "z"}}},
        ScanCase{
            "UrlBeyondTheFirst1023BytesIsLost", "URL" + Repeat('x', 1023) + " http://a/b/\n", {}},
        ScanCase{"RestOfALongLineIsSearchedForMarkers",
                 "URL" + Repeat('x', 1023) + "URL http://a/b/\n",
                 {{"http://a/b/", ""}}},
        ScanCase{"NulEndsTheLine", "URL \0http://a/b/\n"s, {}},
        ScanCase{"TwoHitsInFileOrder",
                 "URL http://one/a/\n\x00\xffURL\thttp://two/b/c\r\n"s,
                 {{"http://one/a/", "\x00\xffURL\thttp://two/b/c\r\n"s}, {"http://two/b/", ""}}}),
    [](const ::testing::TestParamInfo<ScanCase>& info) { return std::string(info.param.name); });

struct ProgressCase {
    const char* name;
    std::string content;
    std::vector<std::vector<int>> progress;  // per call, the last call being the one that ends
};

void PrintTo(const ProgressCase& row, std::ostream* out) {
    *out << row.name;
}

std::vector<int> Multiples(int from, int to, int step) {
    std::vector<int> values;
    for (int value = from; value <= to; value += step) {
        values.push_back(value);
    }
    return values;
}

class MarkedProgressTest : public ::testing::TestWithParam<ProgressCase> {};

TEST_P(MarkedProgressTest, ReportsAtMultiplesOfAThreeHundredthOfTheLength) {
    const ScanRun run = ScanContent(&ScanMarkedFile, GetParam().content);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.progress, GetParam().progress);
}

INSTANTIATE_TEST_SUITE_P(
    Files, MarkedProgressTest,
    ::testing::Values(
        // Files shorter than 300 bytes report every byte, the read that meets the end included.
        ProgressCase{"TinyFileReportsEveryByte", "abc", {{1, 2, 3, 4}}},
        ProgressCase{"EmptyFileReportsTheEnd", "", {{1}}},
        ProgressCase{
            "SixHundredBytesReportEverySecondByte", Repeat('a', 600), {Multiples(2, 600, 2)}},
        ProgressCase{"LineReadCountsAsAThousandAndTwentyFour",
                     "URL none\n" + Repeat('a', 2991),
                     {Multiples(1030, 4010, 10)}},
        ProgressCase{"NextCallStartsFromTheFilesPosition",
                     "URL http://a/b/\n" + Repeat('a', 290),
                     {{1, 2}, Multiples(17, 307, 1)}}),
    [](const ::testing::TestParamInfo<ProgressCase>& info) {
        return std::string(info.param.name);
    });

TEST(TextProgressTest, RestartsAtZeroOnEachCall) {
    const ScanRun run = ScanContent(&ScanTextFile, "x\nhttp://a/\ny\nhttp://b/\nz\n");
    ASSERT_TRUE(run.finished);
    const std::vector<std::vector<int>> expected{{1024, 2048}, {1024, 2048}, {1024}};
    EXPECT_EQ(run.progress, expected);
}

struct ReadErrorCase {
    const char* name;
    FileScanner scanner;
};

void PrintTo(const ReadErrorCase& row, std::ostream* out) {
    *out << row.name;
}

class ReadErrorTest : public ::testing::TestWithParam<ReadErrorCase> {};

TEST_P(ReadErrorTest, ErrorEndsTheScanAfterTheUrlsBeforeIt) {
    const std::string content = "URL http://a/b/\n" + Repeat('x', 20000) + "URL http://c/d/\n";
    test::FilePtr file = test::OpenFailingStream(content, 9000);
    ASSERT_NE(file, nullptr);
    const ScanRun run = ScanToEnd(GetParam().scanner, file.get(), qint64(content.size()), 10);
    EXPECT_TRUE(run.finished);
    EXPECT_EQ(run.urls, std::vector<QString>{"http://a/b/"});
}

TEST_P(ReadErrorTest, FolderOpenedAsAFileEndsTheScan) {
    // fopen gives a stream for a folder on Linux whose reads fail and never reach an end.
    test::TempDir dir;
    test::FilePtr file = OpenForScan(dir.path());
    ASSERT_NE(file, nullptr);
    const ScanRun run = ScanToEnd(GetParam().scanner, file.get(), 4096, 10);
    EXPECT_TRUE(run.finished);
    EXPECT_TRUE(run.urls.empty());
}

INSTANTIATE_TEST_SUITE_P(Scanners, ReadErrorTest,
                         ::testing::Values(ReadErrorCase{"Marked", &ScanMarkedFile},
                                           ReadErrorCase{"Text", &ScanTextFile}),
                         [](const ::testing::TestParamInfo<ReadErrorCase>& info) {
                             return std::string(info.param.name);
                         });

struct ScannerForCase {
    const char* name;
    const char* path;
    FileScanner scanner;
};

void PrintTo(const ScannerForCase& row, std::ostream* out) {
    *out << row.name;
}

class ScannerForTest : public ::testing::TestWithParam<ScannerForCase> {};

TEST_P(ScannerForTest, ChoosesByExtensionInLowerCase) {
    EXPECT_EQ(ScannerFor(QString::fromUtf8(GetParam().path)), GetParam().scanner);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, ScannerForTest,
    ::testing::Values(ScannerForCase{"MissionFile", "/home/p/missions/pack.mn3", &ScanMarkedFile},
                      ScannerForCase{"HogArchive", "/x/extra.Hog", &ScanMarkedFile},
                      ScannerForCase{"TextFile", "/x/readme.TXT", &ScanTextFile},
                      ScannerForCase{"MissionScript", "/x/level.msn", &ScanTextFile},
                      ScannerForCase{"OnlyTheLastDotCounts", "/x/pack.mn3.txt", &ScanTextFile},
                      ScannerForCase{"ZipArchive", "/x/pack.zip", nullptr},
                      ScannerForCase{"NoExtension", "/x/readme", nullptr},
                      ScannerForCase{"DotInTheFolderOnly", "/x/pack.mn3/readme", nullptr},
                      ScannerForCase{"ExtensionWithATrailingSpace", "/x/pack.mn3 ", nullptr},
                      ScannerForCase{"NameThatIsOnlyAnExtension", "/x/.hog", &ScanMarkedFile}),
    [](const ::testing::TestParamInfo<ScannerForCase>& info) {
        return std::string(info.param.name);
    });

}  // namespace
}  // namespace torv
