#include "platform/GameExecutable.h"

#include "platform/Files.h"

namespace torv::platform {

QString findGameExecutable(const QString& folder) {
    // A player who drops the native engine into the retail install wants the engine.
    for (const char* name : {"Descent3", "main.exe", "Descent3.exe"}) {
        const QString found = findFileNoCase(folder, QString::fromLatin1(name));
        if (!found.isEmpty() && isReadableFile(found)) {
            return found;
        }
    }
    return {};
}

}  // namespace torv::platform
