#include "zip/ZipDirectory.h"

#include <algorithm>

namespace zip_detail {

namespace {

constexpr int64_t kSearchWindow = 32768;
// The largest archive comment plus the record's fixed part.
constexpr int64_t kSearchLimit = 65535 + kEndRecordSize;
// Consecutive windows share this many bytes so a signature across the seam is still seen.
constexpr int64_t kWindowOverlap = 3;

}  // namespace

int64_t ZipFindEndRecord(ZipFile& file, int64_t length) {
    if (length <= 0) {
        return -1;
    }
    const int64_t limit = std::min(length, kSearchLimit);
    std::vector<uint8_t> window(size_t(std::min(limit, kSearchWindow)));
    int64_t covered = 0;
    for (;;) {
        const int64_t far = std::min(covered + kSearchWindow, limit);
        const int64_t count = far - covered;
        const int64_t start = length - far;
        if (!file.seek(start) || !file.readExact(window.data(), size_t(count))) {
            return -1;
        }
        for (int64_t i = count - 4; i >= 0; --i) {
            if (readLe32(window.data() + i) == kEndRecordSignature) {
                return start + i;
            }
        }
        if (far == limit) {
            return -1;
        }
        covered = far - kWindowOverlap;
    }
}

bool ZipReadCentralDirectory(ZipFile& file, int64_t length, ZipEndRecord& end,
                             std::vector<ZipEntry>& entries) {
    entries.clear();
    const int64_t endOffset = ZipFindEndRecord(file, length);
    if (endOffset < 0) {
        return false;
    }
    uint8_t record[kCentralRecordSize];
    if (!file.seek(endOffset) || !file.readExact(record, kEndRecordSize)) {
        return false;
    }
    end = ZipEndRecord::parse(record);

    // Every record needs at least its fixed part inside the file: a count the file cannot
    // hold must not decide how much is allocated.
    int64_t position = end.directoryOffset;
    if (position + int64_t(end.totalEntries) * kCentralRecordSize > length ||
        !file.seek(position)) {
        return false;
    }
    entries.resize(end.totalEntries);
    for (ZipEntry& entry : entries) {
        if (!file.readExact(record, kCentralRecordSize)) {
            entries.clear();
            return false;
        }
        entry = ZipEntry::parse(record);
        if (entry.signature != kCentralRecordSignature) {
            entries.clear();
            return false;
        }
        entry.name.resize(entry.nameLength);
        if (!file.readExact(entry.name.data(), entry.nameLength)) {
            entries.clear();
            return false;
        }
        position += kCentralRecordSize + entry.nameLength;
        const int64_t skipped = int64_t(entry.extraLength) + entry.commentLength;
        if (skipped > 0) {
            position += skipped;
            if (!file.seek(position)) {
                entries.clear();
                return false;
            }
        }
    }
    return true;
}

}  // namespace zip_detail
