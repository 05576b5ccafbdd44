#include "workers/marked_scan_reference.h"

#include <algorithm>
#include <climits>

#include "workers/SiteUrl.h"

namespace torv::test {

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

}  // namespace torv::test
