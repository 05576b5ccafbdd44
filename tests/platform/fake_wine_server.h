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
        lock.l_whence = SEEK_SET;
        m_pid = ::fork();
        if (m_pid == 0) {
            ::alarm(20);  // never outlives a test run that lost track of it
            const int fd = ::open(lockPath.constData(), O_CREAT | O_WRONLY, 0600);
            if (fd >= 0 && ::fcntl(fd, F_SETLK, &lock) == 0) {
                ::pause();
            }
            ::_exit(1);
        }
        // A lock can only be seen from another process: wait until this one sees it.
        for (int i = 0; i < 500 && m_pid > 0 && !m_locked; ++i) {
            ::usleep(10000);
            const int fd = ::open(lockPath.constData(), O_RDONLY);
            struct flock probe = lock;
            m_locked = fd >= 0 && ::fcntl(fd, F_GETLK, &probe) == 0 && probe.l_pid == m_pid;
            ::close(fd);
        }
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
    QFile script(path);
    if (!script.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        return false;
    }
    script.write(QStringLiteral("#!/bin/sh\nlog='%1'\nprintf '%s\\n' \"$WINEPREFIX\" >> \"$log\"\n"
                                "for a in \"$@\"; do printf '%s\\n' \"$a\" >> \"$log\"; done\n"
                                "printf -- '--\\n' >> \"$log\"\nexit %2\n")
                     .arg(logPath)
                     .arg(status)
                     .toUtf8());
    script.close();
    return script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

}  // namespace torv::test
