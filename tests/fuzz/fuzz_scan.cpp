// Runs both dropped-file scanners over the input as a file, and the URL cut over each line: every
// URL is a lower-case "http(s)://.../", scans end and positions stay in bounds. Whether the block
// scan matches the byte-by-byte rule is file_scan_test's comparison, which also covers starts
// inside the file, other lengths and read errors.
#include <QByteArrayList>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "workers/FileScanners.h"
#include "workers/SiteUrl.h"

namespace {

void checkUrl(const QString& url) {
    check(url.startsWith(QLatin1String("http://")) || url.startsWith(QLatin1String("https://")));
    check(url.endsWith(QLatin1Char('/')));
    check(std::none_of(url.begin(), url.end(), [](QChar c) { return c >= 'A' && c <= 'Z'; }));
}

// Every reported position lies in (0, limit] and is a multiple of step; returns the URLs found.
std::size_t scanToEnd(torv::FileScanner scan, std::string& contents, qint64 limit, int step = 1) {
    std::size_t urls = 0;
    const std::size_t size = contents.size();
    std::FILE* file = fmemopen(contents.data(), size, "rb");
    check(file != nullptr);
    // Every URL consumes at least one byte, so more calls than bytes means the scan loops.
    for (std::size_t call = 0;; ++call) {
        check(call <= size + 1);
        std::vector<int> positions;
        QString url;
        const bool found = scan(file, qint64(size), url, [&](int position) {
            check(position > 0 && position <= limit && position % step == 0);
            check(positions.empty() || position > positions.back());
            positions.push_back(position);
        });
        if (!found) {
            break;
        }
        checkUrl(url);
        ++urls;
        check(std::ftell(file) > 0 && std::size_t(std::ftell(file)) <= size);
    }
    std::fclose(file);
    return urls;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string contents(reinterpret_cast<const char*>(data), size);
    const qint64 length = qint64(size);
    const std::size_t lines = std::count(data, data + size, uint8_t('\n')) + 1;

    // Marked scan: one position per byte, 1024 per line behind a marker, one for the read that
    // meets the end.
    scanToEnd(&torv::ScanMarkedFile, contents, length + 1 + 1024 * (length / 3 + 1));

    // Line scan: at most one URL per piece of a line, positions in whole lines.
    check(scanToEnd(&torv::ScanTextFile, contents, 1024 * (length + 1), 1024) <=
          lines + size / 1023);

    // The cut alone, line by line: a URL exactly when the line (to its first NUL) names one.
    for (const QByteArray& bytes : QByteArray::fromStdString(contents).split('\n')) {
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
    }
    return 0;
}
