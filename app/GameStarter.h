// Starts the game's executable. The process start itself is the platform's; tests put a
// recorder in its place so that replacing the process can be checked without losing the runner.
#pragma once

#include <QString>
#include <QStringList>

namespace torv {

class GameStarter {
public:
    virtual ~GameStarter() = default;
    // Runs the executable in the folder and waits until it ends. False, with a reason, when it
    // could not be started.
    virtual bool RunAndWait(const QString& folder, const QString& executable,
                            const QStringList& arguments, QString& error) = 0;
    // Starts the executable and goes on at once, without waiting for it. False, with a reason,
    // when it could not be started.
    virtual bool StartDetached(const QString& folder, const QString& executable,
                               const QStringList& arguments, QString& error) = 0;
    // Replaces this process by the executable. A real start returns only when that failed (false,
    // with a reason); a stand-in returns true for a process it pretends to have replaced.
    virtual bool ReplaceProcess(const QString& folder, const QString& executable,
                                const QStringList& arguments, QString& error) = 0;
};

}  // namespace torv
