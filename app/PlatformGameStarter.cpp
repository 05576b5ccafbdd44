#include "app/PlatformGameStarter.h"

#include <cstdio>

#include "platform/ProcessStart.h"

namespace torv {

bool PlatformGameStarter::RunAndWait(const QString& folder, const QString& executable,
                                     const QStringList& arguments, QString& error) {
    const platform::ProcessResult result = platform::startAndWait(folder, executable, arguments);
    error = result.error;
    return result.started;
}

bool PlatformGameStarter::StartDetached(const QString& folder, const QString& executable,
                                        const QStringList& arguments, QString& error) {
    error = platform::startDetached(folder, executable, arguments);
    return error.isEmpty();
}

bool PlatformGameStarter::ReplaceProcess(const QString& folder, const QString& executable,
                                         const QStringList& arguments, QString& error) {
    // Whatever this process still holds in its buffers would be lost with it.
    std::fflush(nullptr);
    error = platform::startReplacing(folder, executable, arguments);
    return false;
}

}  // namespace torv
