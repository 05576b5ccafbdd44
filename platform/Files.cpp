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

QString findFileNoCase(const QString& folder, const QString& name) {
    if (name.isEmpty() || name.contains(QLatin1Char('/'))) {
        return {};
    }
    const QDir dir(folder.isEmpty() ? QStringLiteral(".") : folder);
    if (QFileInfo(dir, name).exists() || QFileInfo(dir, name).isSymLink()) {
        return dir.filePath(name);
    }
    // Sorted so that the choice among several spellings is the same on every run.
    const QStringList entries = dir.entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& entry : entries) {
        if (entry.compare(name, Qt::CaseInsensitive) == 0) {
            return dir.filePath(entry);
        }
    }
    return {};
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
