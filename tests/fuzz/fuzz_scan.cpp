// Runs both dropped-file scanners over the input as a file's contents, and the URL cut over each of
// its lines, checking what the site list relies on: every URL is a lower-case "http://.../" or
// "https://.../", the scans end, the positions stay in their bounds, and the block scan matches
// the byte-by-byte rule.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "workers/FileScanners.h"
#include "workers/MarkedFileScan.h"
#include "workers/SiteUrl.h"
#include "workers/marked_scan_reference.h"

namespace {

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

void checkUrl(const QString& url) {
    check(url.startsWith(QLatin1String("http://")) || url.startsWith(QLatin1String("https://")));
    check(url.endsWith(QLatin1Char('/')));
    for (const QChar c : url) {
        check(!(c >= QLatin1Char('A') && c <= QLatin1Char('Z')));
    }
}

struct Run {
    std::vector<QString> urls;
    std::vector<long> offsets;
    std::vector<std::vector<int>> progress;
};

template <typename ScanFn>
Run scanToEnd(ScanFn scan, std::string& contents, qint64 length) {
    Run run;
    const std::size_t size = contents.size();
    // A stream over memory keeps the run fast; the tests scan real files.
    std::FILE* file = fmemopen(contents.data(), size, "rb");
    check(file != nullptr);
    // Every URL consumes at least one byte, so more calls than bytes means the scan loops.
    for (std::size_t call = 0;; ++call) {
        check(call <= size + 1);
        std::vector<int> positions;
        QString url;
        const bool found =
            scan(file, length, url, [&positions](int position) { positions.push_back(position); });
        for (std::size_t i = 1; i < positions.size(); ++i) {
            check(positions[i] > positions[i - 1]);
        }
        run.progress.push_back(std::move(positions));
        if (!found) {
            break;
        }
        checkUrl(url);
        run.urls.push_back(url);
        run.offsets.push_back(std::ftell(file));
        check(run.offsets.back() > 0 && std::size_t(run.offsets.back()) <= size);
    }
    std::fclose(file);
    return run;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string contents(reinterpret_cast<const char*>(data), size);
    const qint64 length = qint64(size);
    const std::size_t lines = std::count(data, data + size, uint8_t('\n')) + 1;

    // Marked scan: product against the plain rule, with the product's block and a tiny one.
    const Run reference = scanToEnd(&torv::test::ScanMarkedByteByByte, contents, length);
    const Run product = scanToEnd(&torv::ScanMarkedFile, contents, length);
    const std::size_t tinyBlock = size > 0 ? 1 + data[0] % 7 : 1;
    const Run tiny = scanToEnd(
        [tinyBlock](std::FILE* f, qint64 n, QString& url, const torv::ScanProgress& p) {
            return torv::detail::ScanMarkedBlocks(f, n, url, p, tinyBlock);
        },
        contents, length);
    for (const Run* run : {&product, &tiny}) {
        check(run->urls == reference.urls);
        check(run->offsets == reference.offsets);
        check(run->progress == reference.progress);
    }
    // One byte per byte, 1024 per line behind a marker, one for the read that meets the end.
    const qint64 markedLimit = length + 1 + 1024 * (length / 3 + 1);
    for (const auto& call : product.progress) {
        for (const int position : call) {
            check(position > 0 && position <= markedLimit);
        }
    }

    // Line scan: at most one URL per piece of a line, positions in whole lines.
    const Run text = scanToEnd(&torv::ScanTextFile, contents, length);
    check(text.urls.size() <= lines + size / 1023);
    for (const auto& call : text.progress) {
        for (const int position : call) {
            check(position > 0 && position % 1024 == 0 && position <= 1024 * (length + 1));
        }
    }

    // The cut alone, line by line: a URL exactly when the line (to its first NUL) names one.
    const char* begin = reinterpret_cast<const char*>(data);
    const char* end = begin + size;
    for (const char* line = begin; line <= end;) {
        const char* feed = std::find(line, end, '\n');
        const QByteArray bytes(line, qsizetype(feed - line));
        const QByteArray untilNul =
            bytes.left(bytes.indexOf('\0') < 0 ? bytes.size() : bytes.indexOf('\0'));
        QString url = QStringLiteral("before");
        const bool found = torv::ExtractSiteUrl(bytes, url);
        check(found == (untilNul.contains("http://") || untilNul.contains("https://")));
        if (found) {
            checkUrl(url);
        } else {
            check(url == QLatin1String("before"));
        }
        line = feed + 1;
    }
    return 0;
}
