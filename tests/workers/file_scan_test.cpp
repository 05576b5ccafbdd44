#include "workers/FileScanners.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "workers/MarkedFileScan.h"
#include "workers/SiteUrl.h"

namespace torv {
namespace {

using namespace std::string_literals;
using namespace Qt::StringLiterals;

using FilePtr = std::unique_ptr<std::FILE, decltype(&std::fclose)>;

// A seekable stream over bytes, positioned at start, whose reads fail with EIO at failAt.
struct FailingStream {
    FailingStream(std::string content, std::size_t failAfter, std::size_t start)
        : bytes(std::move(content)),
          failAt(failAfter),
          pos(start),
          file(fopencookie(this, "rb", cookie_io_functions_t{&Read, nullptr, &Seek, nullptr}),
               &std::fclose) {}
    static ssize_t Read(void* cookie, char* buffer, std::size_t size) {
        auto* self = static_cast<FailingStream*>(cookie);
        if (self->pos >= self->failAt && self->pos < self->bytes.size()) {
            errno = EIO;
            return -1;
        }
        const std::size_t limit = std::min(self->failAt, self->bytes.size());
        const std::size_t count = std::min(size, limit - std::min(limit, self->pos));
        std::copy_n(self->bytes.data() + self->pos, count, buffer);
        self->pos += count;
        return ssize_t(count);
    }
    static int Seek(void* cookie, off64_t* offset, int whence) {
        auto* self = static_cast<FailingStream*>(cookie);
        self->pos = std::size_t((whence == SEEK_CUR ? off64_t(self->pos) : 0) + *offset);
        *offset = off64_t(self->pos);
        return 0;
    }
    std::string bytes;
    std::size_t failAt;
    std::size_t pos;
    const FilePtr file;
};

// The marked scan read byte by byte with fgetc and fgets, the plain form of the rule that the
// product's block scan must match hit for hit, offset for offset, report for report.
bool ScanMarkedByteByByte(std::FILE* file, qint64 length, QString& url,
                          const ScanProgress& progress) {
    const long start = std::ftell(file);
    if (std::ferror(file) || start < 0) {
        return false;
    }
    qint64 position = start;
    const qint64 step = std::max<qint64>(length / 300, 1);
    int matched = 0;
    while (!std::feof(file)) {
        const int byte = std::fgetc(file);
        if (byte == EOF && std::ferror(file)) {
            return false;
        }
        // A byte that breaks a partial marker does not start a new one.
        matched = byte == "URL"[matched] ? matched + 1 : 0;
        if (matched == 3) {
            matched = 0;
            char line[1024];
            if (std::fgets(line, sizeof line, file) != nullptr) {
                position += 1024;
                if (ExtractSiteUrl(QByteArray(line), url)) {
                    return true;
                }
            } else if (std::ferror(file)) {
                return false;
            }
        }
        position += 1;
        if (position % step == 0 && progress) {
            progress(int(std::min<qint64>(position, INT_MAX)));
        }
    }
    return false;
}

struct ScanRun {
    std::vector<QString> urls;
    std::vector<long> offsets;               // ftell after each found URL
    std::vector<std::vector<int>> progress;  // the positions reported during each call
};

// Calls the scanner again after each URL, as the site list does, until it finds none.
template <typename Scanner>
ScanRun ScanToEnd(Scanner scan, std::FILE* file, qint64 length) {
    ScanRun run;
    for (int call = 0; call < 10000; ++call) {
        run.progress.emplace_back();
        QString url;
        if (!scan(file, length, url, [&run](int at) { run.progress.back().push_back(at); })) {
            return run;
        }
        run.urls.push_back(url);
        run.offsets.push_back(std::ftell(file));
    }
    ADD_FAILURE() << "the scan does not end";
    return run;
}

// Scans a file dropped under that name with the scanner its name calls for, if any.
ScanRun ScanDropped(const char* path, const std::string& content) {
    const FileScanner scanner = ScannerFor(QString::fromUtf8(path));
    if (scanner == nullptr) {
        return {};
    }
    test::TempDir dir;
    const FilePtr file(std::fopen(dir.write("dropped", content).c_str(), "rb"), &std::fclose);
    EXPECT_NE(file, nullptr);
    return ScanToEnd(scanner, file.get(), qint64(content.size()));
}

TEST(FileScan, FindsEachUrlLeavesTheFileBehindItsLineAndReportsProgress) {
    struct Hit {
        QString url;
        std::string rest;  // what is left unread behind the line that held the URL
    };
    struct Case {
        const char* path;  // its extension, in any case, chooses the scan
        std::string content;
        std::vector<Hit> hits;
        // When given, per call the positions reported (1/300 of the length, a byte, or 1024 per
        // line read, counted from the call's start), the last call being the one that ends.
        std::vector<std::vector<int>> progress = {};
    };
    const std::string x1000(1000, 'x');
    const std::string x1023(1023, 'x');
    // clang-format off
    const Case cases[] = {
        {"/x/readme.TXT", "intro\nget http://a/b/ now\nx\ny\nmirror http://c/d/e.zip\nend\n", {{"http://a/b/", "x\ny\nmirror http://c/d/e.zip\nend\n"}, {"http://c/d/", "end\n"}}, {{1024, 2048}, {1024, 2048, 3072}, {1024}}},
        {"/x/level.msn", "x\nhttp://a/b/", {{"http://a/b/", ""}}},
        {"/x/pack.mn3.txt", x1023 + "http://b/c/\nz\n", {{"http://b/c/", "z\n"}}},  // a long line is read in pieces
        {"/x/a.txt", std::string(1020, 'x') + "http://z/\n", {}},  // the piece limit splits the scheme
        {"/x/a.mn3", "", {}, {{1}}},
        {"/x/pack.zip", "URL http://a/b/\n", {}},
        {"/x/pack.mn3/readme", "URL http://a/b/\n", {}},
        {"/x/extra.Hog", "home url http://a/b/\nURL http://c/d/\n", {{"http://c/d/", ""}}},
        {"/x/a.mn3", "URL" + x1000 + "URL" + std::string(30, 'y') + " http://a/b/\n", {}},  // the second marker is in the line read
        {"/x/a.mn3", "URL none\nURL http://c/d/\n", {{"http://c/d/", ""}}},
        {"/x/a.mn3", "UURL http://a/b/\n", {}},
        {"/x/.hog", "UUURL http://a/b/\n", {{"http://a/b/", ""}}},
        {"/x/a.mn3", "data http://x/y/ URL", {}},
        {"/x/a.mn3", "URL http://a/b/", {{"http://a/b/", ""}}},
        {"/x/a.mn3", "URL" + x1000 + " http://a/b/\nz", {{"http://a/b/", "z"}}},
        {"/home/p/missions/pack.mn3", "URL" + x1023 + " http://a/b/\n", {}},  // beyond the 1023 bytes of a line read
        {"/x/a.mn3", "URL" + x1023 + "URL http://a/b/\n", {{"http://a/b/", ""}}},
        {"/x/a.mn3", "URL http://one/a/\n\x00\xffURL\thttp://two/b/c\r\n"s, {{"http://one/a/", "\x00\xffURL\thttp://two/b/c\r\n"s}, {"http://two/b/", ""}}},
        // The site: from the first scheme, small letters only, to the line's last slash.
        {"/x/a.txt", "Get it at HTTP://a/ or http://Sites/Levels/pack.zip\n", {{"http://sites/levels/", ""}}},
        {"/x/a.txt", "see http://a/b/ and c/d \t\r\n", {{"http://a/b/ and c/", ""}}},
        {"/x/a.txt", "http:/a/b/\n", {}},
        {"/x/a.txt", "http://a\n", {{"http://", ""}}},
        {"/x/a.txt", "mirror: https://A/b/c.zip\n", {{"https://a/b/", ""}}},
        {"/x/a.txt", "https://a/ or http://b/c\n", {{"https://a/ or http://b/", ""}}},
        {"/x/a.txt", "http://a/ or https://b/c\n", {{"http://a/ or https://b/", ""}}},
        {"/x/a.mn3", "URL\0http://a/b/\n"s, {}},  // the line ends at a NUL
        {"/x/a.mn3", "URL http://a/\0b/c/\n"s, {{"http://a/", ""}}},
        {"/x/a.txt", "http://\xc3\x84Xy/L\xc3\xa9vels/\n", {{u"http://\u00c4xy/l\u00e9vels/"_s, ""}}},
        {"/x/a.txt", "http://Caf\xe9/\n", {{u"http://caf\u00e9/"_s, ""}}},  // not UTF-8: read as Latin-1
    };
    // clang-format on
    for (const Case& row : cases) {
        SCOPED_TRACE(row.path + (" " + row.content.substr(0, 40)));
        const ScanRun run = ScanDropped(row.path, row.content);
        ASSERT_EQ(run.urls.size(), row.hits.size());
        for (std::size_t i = 0; i < row.hits.size(); ++i) {
            EXPECT_EQ(run.urls[i], row.hits[i].url);
            EXPECT_EQ(run.offsets[i], long(row.content.size() - row.hits[i].rest.size()));
        }
        if (!row.progress.empty()) {
            EXPECT_EQ(run.progress, row.progress);
        }
    }
}

// fopen gives a stream for a folder on Linux whose reads fail and never reach an end. A read
// error in a file is among the block scan's cases below.
TEST(FileScan, AFolderOpenedAsAFileEndsTheScanWithNothingFound) {
    test::TempDir dir;
    for (const FileScanner scanner : {&ScanMarkedFile, &ScanTextFile}) {
        const FilePtr folder(std::fopen(dir.path().c_str(), "rb"), &std::fclose);
        ASSERT_NE(folder, nullptr);
        EXPECT_TRUE(ScanToEnd(scanner, folder.get(), 4096).urls.empty());
    }
}

// The block scan gives what reading byte by byte gives, also where the scan fuzz target does not
// go: a start inside the file, a length that is not the file's, read errors, any block size.
TEST(FileScan, MarkedBlockScanMatchesTheByteByByteRule) {
    // clang-format off
    const std::string pieces[] = {
        "URL", "UURL", "URURL", "UUURL", "UR", "U", "R", "L", "h", ":", "/", " ", "x", "\xff",
        "\n", "\r\n", "\0"s, "URL\n", "URLhttp://q\n", "http://z/", "HTTP://A/", "URL url http://\n",
        "URL http://a/b/c.zip\n", "URL \tHTTP://X/ http://Site/Path/x\r\n", "URL\0http://n/\n"s,
        "URL http://nul/\0/x/\n"s, "URL" + std::string(1023, 'y'), "URL http://e/" + std::string(1010, 'y'),
    };
    const std::size_t blocks[] = {1, 2, 3, 4, 7, 13, 64, 1023, 1024, 1025, 4096, detail::kMarkedScanBlock};
    // clang-format on
    std::mt19937 rng(20240611u);
    for (int i = 0; i < 600; ++i) {
        std::string content;
        const std::size_t size = rng() % 6000;
        while (content.size() < size) {
            if (rng() % 50 == 0) {  // a line around the limit, the URL just inside or outside it
                content += "URL" + std::string(1015 + rng() % 16, 'x') + " http://far/away/\n";
            } else {
                content += pieces[rng() % std::size(pieces)];
            }
        }
        content.resize(size);
        const int condition = i % 4;  // plain, start inside, other length, read error
        const std::size_t failAt = condition == 3 ? rng() % (size + 10) : size;
        const std::size_t start = condition == 1 ? rng() % (size + 1) : 0;
        const qint64 length = condition == 2 ? qint64(rng() % (3 * size + 900)) : qint64(size);
        const std::size_t block = blocks[rng() % std::size(blocks)];
        FailingStream byBytes(content, failAt, start);
        FailingStream byBlocks(content, failAt, start);
        const ScanRun expected = ScanToEnd(&ScanMarkedByteByByte, byBytes.file.get(), length);
        const ScanRun run = ScanToEnd(
            [block](std::FILE* file, qint64 n, QString& url, const ScanProgress& progress) {
                return detail::ScanMarkedBlocks(file, n, url, progress, block);
            },
            byBlocks.file.get(), length);
        SCOPED_TRACE("file " + std::to_string(i) + ", block " + std::to_string(block));
        EXPECT_EQ(run.urls, expected.urls);
        EXPECT_EQ(run.offsets, expected.offsets);
        ASSERT_EQ(run.progress, expected.progress);
    }
}

}  // namespace
}  // namespace torv
