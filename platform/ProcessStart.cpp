#include "platform/ProcessStart.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace torv::platform {

namespace {

QString errnoText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

// What exactly to execute: the program itself, or wine with the program as its first argument.
struct Command {
    QByteArray path;
    std::vector<QByteArray> arguments;
    QString error;
};

bool isWindowsProgram(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.read(2) == "MZ";
}

Command commandFor(const QString& folder, const QString& program, const QStringList& arguments) {
    Command command;
    const QString path = QDir(folder).absoluteFilePath(program);
    if (isWindowsProgram(path)) {
        const QString wine = QStandardPaths::findExecutable(QStringLiteral("wine"));
        if (wine.isEmpty()) {
            command.error = QStringLiteral("%1 is a Windows program and wine is not installed")
                                .arg(QDir::toNativeSeparators(path));
            return command;
        }
        command.path = QFile::encodeName(wine);
        command.arguments.push_back("wine");
        command.arguments.push_back(QFile::encodeName(path));
        for (qsizetype i = 1; i < arguments.size(); ++i) {
            command.arguments.push_back(QFile::encodeName(arguments.at(i)));
        }
        return command;
    }
    command.path = QFile::encodeName(path);
    for (const QString& argument : arguments) {
        command.arguments.push_back(QFile::encodeName(argument));
    }
    if (command.arguments.empty()) {
        command.arguments.push_back(command.path);
    }
    return command;
}

// The vector execv takes; it points into command, which must outlive it.
std::vector<char*> argvOf(Command& command) {
    std::vector<char*> argv;
    for (QByteArray& argument : command.arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    return argv;
}

// What a child that could not start the program reports through its pipe.
struct ChildFailure {
    int stage = 0;  // 1: changing the folder, 2: executing
    int error = 0;
};

QString folderError(const QString& folder, int error) {
    return QStringLiteral("cannot change to the folder %1: %2")
        .arg(QDir::toNativeSeparators(folder), errnoText(error));
}

QString execError(const Command& command, int error) {
    return QStringLiteral("cannot run %1: %2")
        .arg(QFile::decodeName(command.path), errnoText(error));
}

// In a forked child: changes to the folder and executes the program; on failure reports the
// stage and error through the pipe and ends. Only async-signal-safe calls: the parent may have
// other threads.
[[noreturn]] void execInChild(int report, const QByteArray& folder, const Command& command,
                              char* const* argv) {
    ChildFailure failure;
    if (!folder.isEmpty() && ::chdir(folder.constData()) != 0) {
        failure = {1, errno};
    } else {
        ::execv(command.path.constData(), argv);
        failure = {2, errno};
    }
    [[maybe_unused]] const ssize_t written = ::write(report, &failure, sizeof failure);
    ::_exit(127);
}

// Reads what the child reported; empty once the program was executed (the pipe closed with it).
QString childFailure(int report, const QString& folder, const Command& command) {
    ChildFailure failure;
    ssize_t got = 0;
    do {
        got = ::read(report, &failure, sizeof failure);
    } while (got < 0 && errno == EINTR);
    ::close(report);
    if (got != sizeof failure) {
        return {};
    }
    return failure.stage == 1 ? folderError(folder, failure.error)
                              : execError(command, failure.error);
}

// Forks with a close-on-exec pipe for the child's report; -1 with error set when either fails.
pid_t forkReporting(int channel[2], QString& error) {
    if (::pipe2(channel, O_CLOEXEC) != 0) {
        error = QStringLiteral("cannot start a process: %1").arg(errnoText(errno));
        return -1;
    }
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid < 0) {
        error = QStringLiteral("cannot start a process: %1").arg(errnoText(errno));
        ::close(channel[0]);
        ::close(channel[1]);
    }
    return pid;
}

}  // namespace

ProcessResult startAndWait(const QString& folder, const QString& program,
                           const QStringList& arguments) {
    ProcessResult result;
    Command command = commandFor(folder, program, arguments);
    if (!command.error.isEmpty()) {
        result.error = command.error;
        return result;
    }
    std::vector<char*> argv = argvOf(command);
    const QByteArray nativeFolder = QFile::encodeName(folder);

    int channel[2];
    const pid_t pid = forkReporting(channel, result.error);
    if (pid < 0) {
        return result;
    }
    if (pid == 0) {
        ::close(channel[0]);
        execInChild(channel[1], nativeFolder, command, argv.data());
    }
    ::close(channel[1]);
    result.error = childFailure(channel[0], folder, command);

    int status = 0;
    pid_t waited = 0;
    do {
        waited = ::waitpid(pid, &status, 0);
    } while (waited < 0 && errno == EINTR);

    if (!result.error.isEmpty()) {
        return result;
    }
    result.started = true;
    if (waited == pid && WIFEXITED(status)) {
        result.exitStatus = WEXITSTATUS(status);
    } else if (waited == pid && WIFSIGNALED(status)) {
        result.exitStatus = 128 + WTERMSIG(status);
    }
    return result;
}

QString startDetached(const QString& folder, const QString& program, const QStringList& arguments) {
    Command command = commandFor(folder, program, arguments);
    if (!command.error.isEmpty()) {
        return command.error;
    }
    std::vector<char*> argv = argvOf(command);
    const QByteArray nativeFolder = QFile::encodeName(folder);

    int channel[2];
    QString error;
    const pid_t pid = forkReporting(channel, error);
    if (pid < 0) {
        return error;
    }
    if (pid == 0) {
        // The middle process ends at once, so the program is nobody's child to wait for here.
        ::close(channel[0]);
        ::setsid();
        const pid_t program = ::fork();
        if (program != 0) {
            if (program < 0) {
                const ChildFailure failure{2, errno};
                [[maybe_unused]] const ssize_t written =
                    ::write(channel[1], &failure, sizeof failure);
            }
            ::_exit(0);
        }
        execInChild(channel[1], nativeFolder, command, argv.data());
    }
    ::close(channel[1]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    // Ends when the program has been executed (the pipe closes with it) or reports its failure.
    return childFailure(channel[0], folder, command);
}

QString startReplacing(const QString& folder, const QString& program,
                       const QStringList& arguments) {
    Command command = commandFor(folder, program, arguments);
    if (!command.error.isEmpty()) {
        return command.error;
    }
    std::vector<char*> argv = argvOf(command);
    const QString previous = QDir::currentPath();
    if (!folder.isEmpty() && ::chdir(QFile::encodeName(folder).constData()) != 0) {
        return folderError(folder, errno);
    }
    // Whatever the log wrote to standard output must not be lost with this process image.
    std::fflush(nullptr);
    ::execv(command.path.constData(), argv.data());
    const int error = errno;
    QDir::setCurrent(previous);
    return execError(command, error);
}

}  // namespace torv::platform
