// Stand-ins for a running Wine: a process holding the server lock of a prefix, as a running
// wineserver does, and a `wine` script that records how it was called and answers with a chosen
// exit status.
#pragma once

#include <fcntl.h>
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
        int ready[2];
        if (::stat(QFile::encodeName(prefix).constData(), &st) != 0 || ::pipe(ready) != 0 ||
            ::pipe(m_release) != 0) {
            return;
        }
        const QString folder = serverRoot + QStringLiteral("/server-%1-%2")
                                                .arg(qulonglong(st.st_dev), 0, 16)
                                                .arg(qulonglong(st.st_ino), 0, 16);
        QDir().mkpath(folder);
        const QByteArray lockPath = QFile::encodeName(folder + QStringLiteral("/lock"));
        m_pid = ::fork();
        if (m_pid == 0) {
            // Only the parent may hold the write end, or closing it would never end the wait.
            ::close(m_release[1]);
            ::close(ready[0]);
            ::alarm(20);  // never outlives a test run that lost track of it
            const int fd = ::open(lockPath.constData(), O_CREAT | O_WRONLY, 0600);
            struct flock lock {};
            lock.l_type = F_WRLCK;
            lock.l_whence = SEEK_SET;
            const char ok = (fd >= 0 && ::fcntl(fd, F_SETLK, &lock) == 0) ? 1 : 0;
            [[maybe_unused]] ssize_t n = ::write(ready[1], &ok, 1);
            char byte = 0;
            n = ::read(m_release[0], &byte, 1);
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(m_release[0]);
        char ok = 0;
        m_locked = ::read(ready[0], &ok, 1) == 1 && ok == 1;
        ::close(ready[0]);
    }
    ~FakeWineServer() { stop(); }
    FakeWineServer(const FakeWineServer&) = delete;
    FakeWineServer& operator=(const FakeWineServer&) = delete;

    bool locked() const { return m_locked; }
    void stop() {
        if (m_pid > 0) {
            ::close(m_release[1]);
            ::waitpid(m_pid, nullptr, 0);
            m_pid = -1;
        }
    }

private:
    pid_t m_pid = -1;
    int m_release[2] = {-1, -1};
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
