// The marked scan read byte by byte with fgetc and fgets, the plain form of the rule that the
// product's block scan must match hit for hit, offset for offset, report for report.
#pragma once

#include <cstdio>

#include <QString>

#include "workers/FileScanners.h"

namespace torv::test {

bool ScanMarkedByteByByte(std::FILE* file, qint64 length, QString& url,
                          const ScanProgress& progress);

}  // namespace torv::test
