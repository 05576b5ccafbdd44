#include "platform/Files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace torv::platform {

bool isReadableFile(const QString& path) {
    if (path.isEmpty()) {
        return false;
    }
    const QByteArray native = QFile::encodeName(path);
    struct stat st {};
    // A device is never opened; a FIFO swapped in after this look cannot block the open below.
    if (::stat(native.constData(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return false;
    }
    // Non-blocking: opening a FIFO for reading would otherwise wait for a writer forever.
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool isFile = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    ::close(fd);
    return isFile;
}

namespace {

QString findNoCase(const QString& folder, const QString& name, bool foldersOnly) {
    if (name.isEmpty() || name.contains(QLatin1Char('/'))) {
        return {};
    }
    const QDir dir(folder.isEmpty() ? QStringLiteral(".") : folder);
    const auto fits = [&](const QString& entry) {
        const QFileInfo info(dir, entry);
        return foldersOnly ? info.isDir() : info.exists() || info.isSymLink();
    };
    if (fits(name)) {
        return dir.filePath(name);
    }
    // Sorted so that the choice among several spellings is the same on every run.
    const QStringList entries = dir.entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& entry : entries) {
        if (entry.compare(name, Qt::CaseInsensitive) == 0 && fits(entry)) {
            return dir.filePath(entry);
        }
    }
    return {};
}

}  // namespace

QString findFileNoCase(const QString& folder, const QString& name) {
    return findNoCase(folder, name, false);
}

QString findFolderNoCase(const QString& folder, const QString& name) {
    return findNoCase(folder, name, true);
}

QString fileNamePart(const QString& text) {
    qsizetype start = 0;
    if (text.size() >= 2 && text.at(1) == QLatin1Char(':')) {
        start = 2;
    }
    for (qsizetype i = text.size() - 1; i >= start; --i) {
        if (text.at(i) == QLatin1Char('\\') || text.at(i) == QLatin1Char('/')) {
            start = i + 1;
            break;
        }
    }
    QString name = text.mid(start);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot >= 0) {
        name.truncate(dot);
    }
    return name;
}

}  // namespace torv::platform
