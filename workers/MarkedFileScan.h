// The block-reading engine behind ScanMarkedFile, with the block size open so that tests can put
// every block edge where they want it.
#pragma once

#include <cstddef>

#include "workers/FileScanners.h"

namespace torv::detail {

inline constexpr std::size_t kMarkedScanBlock = std::size_t(256) << 10;

bool ScanMarkedBlocks(std::FILE* file, qint64 length, QString& url, const ScanProgress& progress,
                      std::size_t blockSize);

}  // namespace torv::detail
