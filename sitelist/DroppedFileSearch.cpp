#include "sitelist/DroppedFileSearch.h"

#include <sys/stat.h>

#include <QFile>
#include <QFileInfo>
#include <cstdio>
#include <memory>

#include "sitelist/ListBoxItems.h"
#include "workers/FileScanners.h"

namespace torv {

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Only plain files are read: a folder opens for reading on Unix, and opening a pipe would wait
// for a writer with the window frozen.
FilePtr OpenPlainFile(const QString& path, qint64& length) {
    if (!QFileInfo(path).isFile()) {
        return nullptr;
    }
    FilePtr file(std::fopen(QFile::encodeName(path).constData(), "rb"));
    if (!file) {
        return nullptr;
    }
    struct stat info {};
    if (fstat(fileno(file.get()), &info) != 0 || (info.st_mode & S_IFMT) != S_IFREG) {
        return nullptr;
    }
    length = qint64(info.st_size);
    return file;
}

}  // namespace

bool SearchDroppedFile(const QString& path, IDropSearchTarget& target) {
    const FileScanner scanner = ScannerFor(path);
    if (scanner == nullptr) {
        return true;
    }
    qint64 length = 0;
    const FilePtr file = OpenPlainFile(path, length);
    if (!file) {
        return true;
    }

    target.ShowSearchProgress(path, length);
    if (!target.PumpMessages()) {
        return false;
    }
    bool alive = true;
    const ScanProgress progress = [&target, &alive](int position) {
        if (!alive) {
            return;  // the scanner runs on to its next stop; nothing is left to report to
        }
        target.SetSearchProgress(position);
        alive = target.PumpMessages();
    };
    QString url;
    for (;;) {
        const bool found = scanner(file.get(), length, url, progress);
        if (!alive) {
            return false;
        }
        if (!found) {
            break;
        }
        if (target.FindString(url) == LB_ERR) {
            target.AppendSite(url);
        }
        if (!target.PumpMessages()) {
            return false;
        }
    }
    target.HideSearchProgress();
    return target.PumpMessages();
}

bool SearchDroppedFiles(const QStringList& paths, IDropSearchTarget& target) {
    for (const QString& path : paths) {
        if (!SearchDroppedFile(path, target)) {
            return false;
        }
    }
    return true;
}

}  // namespace torv
