// Stand-ins for a running Wine: a process holding a prefix's wineserver lock, and a `wine` script
// that records how it was called.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QString>

#include "platform/wine_prefix_fixture.h"

namespace torv::test {

class FakeWineServer {
public:
    // Holds the lock in the server folder Wine uses for prefix under serverRoot.
    FakeWineServer(const QString& serverRoot, const QString& prefix) {
        struct stat st {};
        if (::stat(QFile::encodeName(prefix).constData(), &st) != 0) {
            return;
        }
        const QString folder = serverRoot + QStringLiteral("/server-%1-%2")
                                                .arg(qulonglong(st.st_dev), 0, 16)
                                                .arg(qulonglong(st.st_ino), 0, 16);
        QDir().mkpath(folder);
        const QByteArray lockPath = QFile::encodeName(folder + QStringLiteral("/lock"));
        struct flock lock {};
        lock.l_type = F_WRLCK;
        int ready[2];
        if (::pipe(ready) != 0) {
            return;
        }
        m_pid = ::fork();
        if (m_pid == 0) {
            ::alarm(20);  // never outlives a test run that lost track of it
            const int fd = ::open(lockPath.constData(), O_CREAT | O_WRONLY, 0600);
            // Says so once it holds the lock, then holds it until killed.
            if (fd >= 0 && ::fcntl(fd, F_SETLK, &lock) == 0 && ::write(ready[1], "", 1) == 1) {
                ::pause();
            }
            ::_exit(1);
        }
        ::close(ready[1]);
        char byte = 0;
        m_locked = m_pid > 0 && ::read(ready[0], &byte, 1) == 1;
        ::close(ready[0]);
    }
    ~FakeWineServer() { stop(); }
    FakeWineServer(const FakeWineServer&) = delete;
    FakeWineServer& operator=(const FakeWineServer&) = delete;

    bool locked() const { return m_locked; }
    void stop() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
            m_pid = -1;
        }
    }

private:
    pid_t m_pid = -1;
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
