#include "zip/ZipArchive.h"

#include <algorithm>
#include <climits>
#include <memory>
#include <vector>

#include "zip/ZipDirectory.h"
#include "zip/ZipEntryStream.h"
#include "zip/ZipFile.h"
#include "zip/ZipLocalData.h"
#include "zip/ZipRecords.h"

using namespace zip_detail;

int ZipArchiveLastError = 0;

namespace {

constexpr uint8_t kEntryOpen = 0xFF;

}  // namespace

struct ZipArchive {
    ZipFile file;
    int64_t length = 0;
    ZipEndRecord end;
    bool unchanged = true;
    uint8_t entryState = 0;
    ZipEntryStream stream;
    std::vector<ZipEntry> entries;
    const ZipEntry* openEntry = nullptr;
};

namespace {

bool validIndex(const ZipArchive& archive, int index) {
    return index >= 0 && index < int(archive.entries.size());
}

// The directory record of an index that the caller passed; null for a null archive, and for a
// bad index with the error set.
const ZipEntry* entryAt(ZipArchive* archive, int index) {
    if (archive == nullptr) {
        return nullptr;
    }
    if (!validIndex(*archive, index)) {
        ZipArchiveLastError = ZIPERR_BAD_INDEX;
        return nullptr;
    }
    return &archive->entries[size_t(index)];
}

bool fileExists(const char* path) {
    ZipFile probe;
    return probe.open(path, "rb");
}

}  // namespace

ZipArchive* ZipArchiveOpen(const char* path, int mode) {
    if (path == nullptr) {
        return nullptr;
    }
    auto archive = std::make_unique<ZipArchive>();
    bool created = false;
    if (mode == 0) {
        if (!archive->file.open(path, "rb")) {
            return nullptr;
        }
    } else if (fileExists(path)) {
        if (!archive->file.open(path, "rb+")) {
            return nullptr;
        }
    } else {
        if (!archive->file.open(path, "wb+")) {
            return nullptr;
        }
        created = true;
    }
    archive->length = archive->file.takeLength();
    if (!ZipReadCentralDirectory(archive->file, archive->length, archive->end, archive->entries)) {
        ZipArchiveLastError = ZIPERR_BAD_DIRECTORY;
        archive->end.totalEntries = 0;
    }
    if (created) {
        archive->end = ZipEndRecord{};
        archive->end.signature = kEndRecordSignature;
        archive->unchanged = false;
    }
    return archive.release();
}

int ZipArchiveGetEntryCount(ZipArchive* archive) {
    return archive == nullptr ? -1 : int(archive->entries.size());
}

int ZipArchiveGetEntryInfo(ZipArchive* archive, int index, ZipEntryInfo* info) {
    const ZipEntry* found = entryAt(archive, index);
    if (found == nullptr || info == nullptr) {
        return -1;
    }
    const ZipEntry& entry = *found;
    info->name = entry.name.c_str();
    info->size = entry.uncompressedSize;
    return 0;
}

int ZipArchiveOpenEntry(ZipArchive* archive, int index) {
    if (archive == nullptr || !validIndex(*archive, index)) {
        ZipArchiveLastError = ZIPERR_BAD_INDEX;
        return -1;
    }
    if (archive->entryState == kEntryOpen) {
        return -1;
    }
    const ZipEntry& entry = archive->entries[size_t(index)];
    ZipLocalHeader header;
    if (!ZipReadLocalHeader(archive->file, entry, header) || !ZipLocalHeaderAgrees(entry, header)) {
        return -1;
    }
    if (!archive->stream.start(entry,
                               ZipEntryInput(&archive->file, ZipDataOffset(entry, header)))) {
        return -1;
    }
    archive->openEntry = &entry;
    archive->entryState = kEntryOpen;
    return 0;
}

int ZipArchiveReadEntry(ZipArchive* archive, uint8_t* buffer, uint32_t length) {
    if (archive == nullptr || archive->entryState != kEntryOpen || buffer == nullptr ||
        length == 0) {
        return -1;
    }
    // The count is returned as an int, so one call never delivers more than INT_MAX bytes.
    return archive->stream.read(buffer, std::min(length, uint32_t(INT_MAX)));
}

int ZipArchiveCloseEntry(ZipArchive* archive) {
    if (archive == nullptr) {
        return -1;
    }
    if (archive->entryState != kEntryOpen) {
        ZipArchiveLastError = ZIPERR_NO_ENTRY_OPEN;
        return -1;
    }
    const bool whole = archive->stream.whole();
    archive->stream.end();
    archive->openEntry = nullptr;
    archive->entryState = 0;
    return whole ? 0 : -1;
}

int ZipArchiveClose(ZipArchive* archive) {
    if (archive == nullptr) {
        return -1;
    }
    std::unique_ptr<ZipArchive> owner(archive);
    if (archive->entryState == kEntryOpen) {
        ZipArchiveCloseEntry(archive);
    }
    if (!archive->unchanged) {
        // Only a newly created archive gets here; it is written back as an empty one.
        uint8_t record[kEndRecordSize];
        archive->end.serialize(record);
        if (archive->file.seek(0) && archive->file.write(record, kEndRecordSize)) {
            archive->file.truncate(kEndRecordSize);
        }
    }
    return 0;
}

int ZipArchiveGetEntrySpan(ZipArchive* archive, int index, ZipEntrySpan* span) {
    const ZipEntry* found = entryAt(archive, index);
    if (found == nullptr) {
        return -1;
    }
    const ZipEntry& entry = *found;
    // Read past the stream, so an open entry reads on undisturbed.
    ZipLocalHeader header;
    if (!ZipReadLocalHeader(archive->file, entry, header) || span == nullptr) {
        return -1;
    }
    span->start = entry.localHeaderOffset;
    span->end = uint64_t(ZipDataOffset(entry, header)) + entry.compressedSize;
    return 0;
}

int ZipArchiveGetEntrySizes(ZipArchive* archive, int index, ZipEntrySizes* sizes) {
    const ZipEntry* found = entryAt(archive, index);
    if (found == nullptr || sizes == nullptr) {
        return -1;
    }
    const ZipEntry& entry = *found;
    *sizes = ZipEntrySizes{entry.method, entry.compressedSize, entry.uncompressedSize};
    return 0;
}

int ZipArchiveTakeEntry(ZipArchive* archive, int index, ZipRawEntry* raw) {
    const ZipEntry* found = entryAt(archive, index);
    if (found == nullptr || raw == nullptr) {
        return -1;
    }
    const ZipEntry& entry = *found;
    // Read past the stream, so an open entry reads on undisturbed.
    ZipLocalHeader header;
    if (!ZipReadLocalHeader(archive->file, entry, header) || !ZipLocalHeaderAgrees(entry, header)) {
        return -1;
    }
    raw->method = entry.method;
    raw->crc = entry.crc;
    raw->compressedSize = entry.compressedSize;
    raw->uncompressedSize = entry.uncompressedSize;
    // A stored entry delivers no byte past its size, so none is read.
    const uint32_t wanted = entry.method == 0
                                ? std::min(entry.compressedSize, entry.uncompressedSize)
                                : entry.compressedSize;
    const int64_t offset = ZipDataOffset(entry, header);
    // What lies past the end of the file cannot be read; the decoder sees the data end where the
    // streaming reads would.
    const size_t count = size_t(std::clamp<int64_t>(archive->length - offset, 0, wanted));
    if (raw->capacity < count) {
        raw->data = std::make_unique_for_overwrite<uint8_t[]>(count);
        raw->capacity = count;
    }
    raw->size = count;
    return archive->file.readExactAt(offset, raw->data.get(), count) ? 0 : -1;
}
