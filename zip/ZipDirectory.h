// Locating the end record and reading the central directory of an archive.
#pragma once

#include <cstdint>
#include <vector>

#include "zip/ZipFile.h"
#include "zip/ZipRecords.h"

namespace zip_detail {

// Offset of the end-record signature nearest the end of the file within the last 65557 bytes,
// or -1 when there is none or the tail cannot be read.
int64_t ZipFindEndRecord(ZipFile& file, int64_t length);

// Reads the end record and every directory record. On failure entries is empty and the
// caller reports a bad directory.
bool ZipReadCentralDirectory(ZipFile& file, int64_t length, ZipEndRecord& end,
                             std::vector<ZipEntry>& entries);

}  // namespace zip_detail
