#include "platform/FolderLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>

#include <cerrno>
#include <cstring>

namespace torv::platform {

namespace {

QString systemText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

}  // namespace

FolderLock::~FolderLock() {
    release();
}

QString FolderLock::fileName() {
    return QStringLiteral(".torv.lock");
}

bool FolderLock::open(const QString& folder, QString& error) {
    release();
    const QByteArray native = QFile::encodeName(folder);
    struct stat st {};
    if (::stat(native.constData(), &st) != 0) {
        error = systemText(errno);
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        error = systemText(ENOTDIR);
        return false;
    }
    // Whoever cannot write the folder cannot fetch into it, even when the lock file is theirs.
    if (::access(native.constData(), W_OK | X_OK) != 0) {
        error = systemText(errno);
        return false;
    }
    const QByteArray path = QFile::encodeName(folder + u'/' + fileName());
    // O_NOFOLLOW: a link planted under the lock file's name is not followed elsewhere.
    m_fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (m_fd < 0 && errno == EACCES) {
        // Another user's lock file still locks: flock needs no write access.
        m_fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    }
    if (m_fd < 0) {
        error = systemText(errno);
        return false;
    }
    return true;
}

bool FolderLock::tryLock() {
    if (m_fd < 0) {
        return false;
    }
    if (!m_locked) {
        int result = 0;
        do {
            result = ::flock(m_fd, LOCK_EX | LOCK_NB);
        } while (result != 0 && errno == EINTR);
        m_locked = result == 0;
    }
    return m_locked;
}

void FolderLock::release() {
    if (m_fd >= 0) {
        // Closing the only descriptor of the open file gives the lock up.
        ::close(m_fd);
        m_fd = -1;
    }
    m_locked = false;
}

}  // namespace torv::platform
