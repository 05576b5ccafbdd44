// The block scan must be indistinguishable from reading byte by byte: the same URLs, the file left
// at the same offset after each one, the same progress reports, the same end.
#include <gtest/gtest.h>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "workers/MarkedFileScan.h"
#include "workers/marked_scan_reference.h"
#include "workers/scan_test_util.h"

namespace torv {
namespace {

using namespace std::string_literals;

// Pieces that stress the marker rule, the line rule and the URL cut.
const std::vector<std::string>& Pieces() {
    static const std::vector<std::string> pieces{
        "URL",
        "UURL",
        "URURL",
        "UUURL",
        "UR",
        "U",
        "URL\n",
        "URLhttp://q\n",
        "\n",
        "\r\n",
        "\0"s,
        "http://z/",
        "HTTP://A/",
        "URL http://a/b/c.zip\n",
        "URL \tHTTP://X/ http://Site/Path/x\r\n",
        "URL\0http://n/\n"s,
        "URL http://nul/\0/x/\n"s,
        "URL url http://\n",
    };
    return pieces;
}

std::string Generate(std::mt19937& rng, std::size_t size) {
    std::string out;
    std::uniform_int_distribution<int> kind(0, 99);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<std::size_t> piece(0, Pieces().size() - 1);
    std::uniform_int_distribution<std::size_t> longRun(1015, 1030);
    const std::string common = "URLhtp:/\n\0 "s;
    std::uniform_int_distribution<std::size_t> commonByte(0, common.size() - 1);
    while (out.size() < size) {
        const int k = kind(rng);
        if (k < 40) {
            out += char(byte(rng));
        } else if (k < 70) {
            out += common[commonByte(rng)];
        } else if (k < 98) {
            out += Pieces()[piece(rng)];
        } else {
            // Lines around the 1023-byte limit, with a URL just inside or just outside it.
            out += "URL" + std::string(longRun(rng), 'x') + " http://far/away/\n";
        }
    }
    out.resize(size);
    return out;
}

const std::vector<std::string>& Endings() {
    static const std::vector<std::string> endings{
        "",
        "URL",
        "UR",
        "URL http://e/f/",
        "URL http://e/f/\n",
        "URL\n",
        "URL" + std::string(1023, 'y'),
        "URL" + std::string(1022, 'y') + "\n",
        "URL http://e/" + std::string(1010, 'y'),
    };
    return endings;
}

test::Scanner BlockScanner(std::size_t blockSize) {
    return [blockSize](std::FILE* file, qint64 length, QString& url, const ScanProgress& progress) {
        return detail::ScanMarkedBlocks(file, length, url, progress, blockSize);
    };
}

struct Opened {
    test::FilePtr reference;
    test::FilePtr blocks;
};

void ExpectSameRuns(const test::ScanRun& reference, const test::ScanRun& blocks,
                    const std::string& what) {
    ASSERT_TRUE(reference.finished) << what;
    ASSERT_TRUE(blocks.finished) << what;
    EXPECT_EQ(blocks.urls, reference.urls) << what;
    EXPECT_EQ(blocks.offsets, reference.offsets) << what;
    EXPECT_EQ(blocks.progress, reference.progress) << what;
}

struct Family {
    const char* name;
    int files;
    std::size_t maxSize;
    std::vector<std::size_t> blockSizes;
    bool midFileStart;    // the first call starts somewhere inside the file
    bool failingStreams;  // reads fail with EIO after some bytes
    bool oddLengths;      // the length passed in differs from the file's
};

void PrintTo(const Family& row, std::ostream* out) {
    *out << row.name;
}

class MarkedScanEquivalenceTest : public ::testing::TestWithParam<Family> {};

TEST_P(MarkedScanEquivalenceTest, BlockScanMatchesByteByByteScan) {
    const Family& family = GetParam();
    test::TempDir dir;
    std::mt19937 rng(20240611u + unsigned(family.maxSize) + unsigned(family.files));
    std::uniform_int_distribution<std::size_t> sizes(0, family.maxSize);
    std::uniform_int_distribution<std::size_t> blockPick(0, family.blockSizes.size() - 1);
    std::uniform_int_distribution<std::size_t> endingPick(0, Endings().size() - 1);
    for (int i = 0; i < family.files; ++i) {
        const std::string content = Generate(rng, sizes(rng)) + Endings()[endingPick(rng)];
        const std::size_t blockSize = family.blockSizes[blockPick(rng)];
        qint64 length = qint64(content.size());
        if (family.oddLengths) {
            length = std::uniform_int_distribution<qint64>(0, 3 * length + 900)(rng);
        }
        const std::string what = "file " + std::to_string(i) + ", " +
                                 std::to_string(content.size()) + " bytes, block " +
                                 std::to_string(blockSize);
        Opened opened;
        if (family.failingStreams) {
            const std::size_t failAt =
                std::uniform_int_distribution<std::size_t>(0, content.size() + 10)(rng);
            opened = {test::OpenFailingStream(content, failAt),
                      test::OpenFailingStream(content, failAt)};
        } else {
            // Appended piece by piece: GCC 12 sees a false overlap in "f" + std::string.
            std::string name = "f";
            name += std::to_string(i) + ".mn3";
            const std::string path = dir.write(name, content);
            opened = {test::OpenForScan(path), test::OpenForScan(path)};
        }
        ASSERT_NE(opened.reference, nullptr);
        ASSERT_NE(opened.blocks, nullptr);
        if (family.midFileStart && !content.empty()) {
            const long start =
                long(std::uniform_int_distribution<std::size_t>(0, content.size())(rng));
            std::fseek(opened.reference.get(), start, SEEK_SET);
            std::fseek(opened.blocks.get(), start, SEEK_SET);
        }
        const test::ScanRun reference =
            test::ScanToEnd(&test::ScanMarkedByteByByte, opened.reference.get(), length);
        const test::ScanRun blocks =
            test::ScanToEnd(BlockScanner(blockSize), opened.blocks.get(), length);
        ExpectSameRuns(reference, blocks, what);
        if (HasFailure()) {
            return;  // one file's mismatch is enough to read
        }
    }
}

const std::vector<std::size_t> kSmallBlocks{1, 2, 3, 4, 7, 13, 64, 1023, 1024, 1025, 4096};

// Plain contents against the byte-by-byte rule are the scan fuzz target's; these are the
// conditions it does not make: a start inside the file, a length that is not the file's, read
// errors.
INSTANTIATE_TEST_SUITE_P(
    Files, MarkedScanEquivalenceTest,
    ::testing::Values(Family{"StartInsideTheFile", 150, 6000, kSmallBlocks, true, false, false},
                      Family{"LengthOtherThanTheFiles", 150, 6000, kSmallBlocks, false, false,
                             true},
                      Family{"ReadErrors", 200, 6000, kSmallBlocks, false, true, false}),
    [](const ::testing::TestParamInfo<Family>& info) { return std::string(info.param.name); });

// Markers cut by the edge of a real block, in every way they can be cut.
TEST(MarkedScanBlockEdgeTest, MarkersAndLinesAcrossTheProductBlockEdge) {
    test::TempDir dir;
    const std::size_t edge = detail::kMarkedScanBlock;
    const std::vector<std::string> planted{
        "URL http://edge/a/\n",
        "UURL http://edge/b/\n",
        "URURL http://edge/c/\n",
        "URL" + std::string(1100, 'x') + "http://edge/d/\n",
        "URL",
    };
    int file = 0;
    for (const std::string& piece : planted) {
        // The piece starts that many bytes before the edge: inside it, at its start, around
        // the line limit, at its end and just behind it.
        std::vector<std::size_t> shifts{0, 1, 2, 3, 4, 5, 1021, 1022, 1023, 1024, 1025};
        for (std::size_t back = 0; back <= 3; ++back) {
            shifts.push_back(piece.size() + 1 - back);
        }
        for (const std::size_t shift : shifts) {
            if (shift > piece.size() + 1) {
                continue;
            }
            std::string content(edge + 2000, 'a');
            content.replace(edge - std::min(shift, edge), piece.size(), piece);
            const std::string path = dir.write("edge" + std::to_string(file++) + ".hog", content);
            test::FilePtr reference = test::OpenForScan(path);
            test::FilePtr blocks = test::OpenForScan(path);
            const qint64 length = qint64(content.size());
            ExpectSameRuns(test::ScanToEnd(&test::ScanMarkedByteByByte, reference.get(), length),
                           test::ScanToEnd(&ScanMarkedFile, blocks.get(), length),
                           piece.substr(0, 12) + " shifted " + std::to_string(shift));
        }
    }
}

}  // namespace
}  // namespace torv
