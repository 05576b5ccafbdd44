// Writes every entry of a downloaded mission archive into the missions folder.
#pragma once

#include <QString>

#include <cstdint>

#include "app/ExtractionPool.h"
#include "app/MissionLog.h"

namespace torv {

// An archive refused whole when its entries would together unpack to more than this. Real
// missions are well under 1 GiB; the bound stops an archive from filling the disk.
inline constexpr uint64_t kMaxUnpackedBytes = uint64_t(2) * 1024 * 1024 * 1024;

// False only when the archive file cannot be opened. Every entry whose name is safe, whose
// output could be created and whose data checked out (size and CRC-32) is now a file below
// missionsFolder; every other entry left the folder as it was. Lines come in archive order.
bool ExtractMission(MissionLog& log, const QString& archivePath, const QString& missionsFolder,
                    const ExtractionTuning& tuning = {});

}  // namespace torv
