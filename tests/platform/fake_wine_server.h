// Stand-ins for a running Wine: a held wineserver lock of a prefix, and a `wine` script that
// records how it was called.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QString>

#include "platform/wine_prefix_fixture.h"

namespace torv::test {

class FakeWineServer {
public:
    // Holds the lock in the server folder Wine uses for prefix under serverRoot. The lock belongs
    // to an open file description: a look at it from this process sees it, as from any other.
    FakeWineServer(const QString& serverRoot, const QString& prefix) {
        struct stat st {};
        if (::stat(QFile::encodeName(prefix).constData(), &st) != 0) {
            return;
        }
        const QString folder = serverRoot + QStringLiteral("/server-%1-%2")
                                                .arg(qulonglong(st.st_dev), 0, 16)
                                                .arg(qulonglong(st.st_ino), 0, 16);
        QDir().mkpath(folder);
        m_fd = ::open(QFile::encodeName(folder + QStringLiteral("/lock")).constData(),
                      O_CREAT | O_WRONLY | O_CLOEXEC, 0600);
        struct flock lock {};
        lock.l_type = F_WRLCK;
        m_locked = m_fd >= 0 && ::fcntl(m_fd, F_OFD_SETLK, &lock) == 0;
    }
    ~FakeWineServer() { stop(); }
    FakeWineServer(const FakeWineServer&) = delete;
    FakeWineServer& operator=(const FakeWineServer&) = delete;

    bool locked() const { return m_locked; }
    // The server ends; its lock file stays behind.
    void stop() {
        if (m_fd >= 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }

private:
    int m_fd = -1;
    bool m_locked = false;
};

// Writes an executable script at path that appends its WINEPREFIX and then each argument, one
// per line, to logPath, then a line "--", and exits with status.
inline bool WriteFakeWine(const QString& path, const QString& logPath, int status) {
    WinePrefixFixture::write(
        path, QStringLiteral("#!/bin/sh\nlog='%1'\nprintf '%s\\n' \"$WINEPREFIX\" >> \"$log\"\n"
                             "for a in \"$@\"; do printf '%s\\n' \"$a\" >> \"$log\"; done\n"
                             "printf -- '--\\n' >> \"$log\"\nexit %2\n")
                  .arg(logPath)
                  .arg(status));
    return QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

}  // namespace torv::test
