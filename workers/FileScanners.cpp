#include "workers/FileScanners.h"

#include <QFileInfo>
#include <algorithm>
#include <climits>

#include "workers/MarkedFileScan.h"
#include "workers/SiteUrl.h"

namespace torv {

bool ScanMarkedFile(std::FILE* file, qint64 length, QString& url, const ScanProgress& progress) {
    return detail::ScanMarkedBlocks(file, length, url, progress, detail::kMarkedScanBlock);
}

bool ScanTextFile(std::FILE* file, qint64 /*length*/, QString& url, const ScanProgress& progress) {
    if (file == nullptr) {
        return false;
    }
    qint64 position = 0;
    char line[1024];
    // fgets gives nothing at the end and on a read error alike: both end the scan.
    while (std::fgets(line, sizeof line, file) != nullptr) {
        position += 1024;
        const bool found = ExtractSiteUrl(QByteArray(line), url);  // up to the first NUL
        if (progress) {
            progress(int(std::min<qint64>(position, INT_MAX)));
        }
        if (found) {
            return true;
        }
    }
    return false;
}

FileScanner ScannerFor(const QString& path) {
    const QString name = QFileInfo(path).fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot < 0) {
        return nullptr;
    }
    const QString extension = name.mid(dot).toLower();
    if (extension == QLatin1String(".mn3") || extension == QLatin1String(".hog")) {
        return &ScanMarkedFile;
    }
    if (extension == QLatin1String(".txt") || extension == QLatin1String(".msn")) {
        return &ScanTextFile;
    }
    return nullptr;
}

}  // namespace torv
