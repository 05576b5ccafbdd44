// Fetches one URL over HTTP(S) into one file, reporting to the mission log.
#pragma once

#include <QString>

#include "app/MissionLog.h"

namespace torv {

struct DownloadLimits {
    // Until the status line has arrived (name lookup, connection and TLS included).
    int connectTimeoutMs = 15'000;
    // Longest silence between two pieces of the body.
    int stallTimeoutMs = 30'000;
};

// True only when the server answered 200..299 and the whole body is now the file at filePath.
// On every other outcome the file at filePath is left exactly as it was (or absent). The mission
// part of url must already be percent-encoded.
bool DownloadMission(MissionLog& log, const QString& url, const QString& filePath,
                     const DownloadLimits& limits = {});

}  // namespace torv
