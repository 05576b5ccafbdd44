// How much room a file system has left for an ordinary user's files.
#pragma once

#include <QString>

#include <cstdint>
#include <optional>

namespace torv::platform {

// Bytes an unprivileged writer may still use on the file system holding folder; empty when the
// system cannot tell (the folder is missing, say).
std::optional<uint64_t> freeBytes(const QString& folder);

}  // namespace torv::platform
