#include "platform/FreeSpace.h"

#include <sys/statvfs.h>

#include <QFile>

namespace torv::platform {

std::optional<uint64_t> freeBytes(const QString& folder) {
    struct statvfs fs {};
    if (::statvfs(QFile::encodeName(folder).constData(), &fs) != 0) {
        return std::nullopt;
    }
    return uint64_t(fs.f_bavail) * uint64_t(fs.f_frsize);
}

}  // namespace torv::platform
