// The local header in front of an entry's data: reading it, checking it against the directory,
// and where the data begins.
#pragma once

#include <cstdint>

#include "zip/ZipFile.h"
#include "zip/ZipRecords.h"

namespace zip_detail {

// Reads the entry's local header at its offset; false when it cannot be read whole or its
// signature is wrong. Leaves the file position where it was.
bool ZipReadLocalHeader(ZipFile& file, const ZipEntry& entry, ZipLocalHeader& header);

// The checks that decide whether an entry can be opened at all: low flag bits and method agree
// with the directory, the method is stored or deflated, and the local name is as long as the
// directory's name up to its first NUL.
bool ZipLocalHeaderAgrees(const ZipEntry& entry, const ZipLocalHeader& header);

int64_t ZipDataOffset(const ZipEntry& entry, const ZipLocalHeader& header);

}  // namespace zip_detail
