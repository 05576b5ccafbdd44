// Fetches one URL over HTTP(S) into one file, reporting to the mission log.
#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <optional>

#include "app/MissionExtraction.h"
#include "app/MissionLog.h"

namespace torv {

struct DownloadLimits {
    // Until the status line has arrived (name lookup, connection and TLS included), per request.
    int connectTimeoutMs = 15'000;
    // A body that averages fewer than lowSpeedBytesPerSecond over this long fails, however
    // steadily its bytes trickle in.
    int lowSpeedWindowMs = 30'000;
    int lowSpeedBytesPerSecond = 1024;
    // Larger archives are refused: extraction would refuse them anyway.
    uint64_t maxArchiveBytes = kMaxUnpackedBytes;
    // Hops followed before a redirect chain counts as broken.
    int maxRedirects = 10;
    // Free bytes on the file system of a folder; empty when unknown. Unset: asks the system.
    std::function<std::optional<uint64_t>(const QString& folder)> freeSpace;
};

// True only when the server answered 200..299 (after following redirects) and the whole body is
// now the file at filePath. On every other outcome the file at filePath is left exactly as it
// was (or absent). The mission part of url must already be percent-encoded.
bool DownloadMission(MissionLog& log, const QString& url, const QString& filePath,
                     const DownloadLimits& limits = {});

}  // namespace torv
