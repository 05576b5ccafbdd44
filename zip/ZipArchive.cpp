#include "zip/ZipArchive.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <vector>

#include "zip/ZipDirectory.h"
#include "zip/ZipFile.h"
#include "zip/ZipInflater.h"
#include "zip/ZipRecords.h"

int ZipArchiveLastError = 0;

namespace {

constexpr uint32_t kIoBufferSize = 1024;
constexpr uint8_t kEntryOpen = 0xFF;
constexpr uint16_t kMethodStored = 0;
constexpr uint16_t kMethodDeflated = 8;
constexpr size_t kInflateWindowSize = 32 * 1024;

enum class InflateState { Running, Ended, Failed };

}  // namespace

struct ZipArchive {
    ZipFile file;
    int64_t length = 0;
    ZipEndRecord end;
    bool unchanged = true;
    uint8_t entryState = 0;
    ZipInflater inflater;
    uint32_t remainingUncompressed = 0;
    uint32_t remainingCompressed = 0;
    uint32_t crc = 0;
    std::vector<uint8_t> ioBuffer;
    // Inflated bytes of the open entry not yet delivered: window[windowStart, windowEnd).
    std::vector<uint8_t> window;
    uint32_t windowStart = 0;
    uint32_t windowEnd = 0;
    InflateState inflateState = InflateState::Running;
    std::vector<ZipEntry> entries;
    const ZipEntry* openEntry = nullptr;
};

namespace {

bool validIndex(const ZipArchive& archive, int index) {
    return index >= 0 && index < int(archive.entries.size());
}

bool fileExists(const char* path) {
    ZipFile probe;
    return probe.open(path, "rb");
}

// The local header of an entry, read at its offset; false when it cannot be read whole or its
// signature is wrong. Moves the file position.
bool readLocalHeader(ZipArchive& archive, const ZipEntry& entry, ZipLocalHeader& header) {
    uint8_t bytes[kLocalHeaderSize];
    if (!archive.file.seek(entry.localHeaderOffset) ||
        !archive.file.readExact(bytes, kLocalHeaderSize)) {
        return false;
    }
    header = ZipLocalHeader::parse(bytes);
    return header.signature == kLocalHeaderSignature;
}

int readStored(ZipArchive& a, uint8_t* buffer, uint32_t space) {
    // Stored bytes go straight to the caller: copying them through the I/O buffer first would
    // deliver the same bytes more slowly.
    const uint32_t count = std::min(space, a.remainingCompressed);
    if (count == 0) {
        // Nothing left in the file for this entry: the close reports the shortfall.
        return 0;
    }
    if (!a.file.readExact(buffer, count)) {
        return -1;
    }
    a.crc = uint32_t(crc32(a.crc, buffer, count));
    a.remainingCompressed -= count;
    a.remainingUncompressed -= count;
    return int(count);
}

// Takes the next chunk of compressed data into the I/O buffer when the inflater has used up
// the last one; false on a short read.
bool feedInflater(ZipArchive& a) {
    z_stream& stream = a.inflater.stream();
    if (stream.avail_in != 0 || a.remainingCompressed == 0) {
        return true;
    }
    const uint32_t count = std::min(a.remainingCompressed, kIoBufferSize);
    if (!a.file.readExact(a.ioBuffer.data(), count)) {
        return false;
    }
    a.remainingCompressed -= count;
    stream.next_in = a.ioBuffer.data();
    stream.avail_in = count;
    return true;
}

// Inflates ahead into the window, never past the entry's declared size: zlib decodes fastest
// with room for whole runs of output, which a 1024-byte call seldom leaves it.
void refillWindow(ZipArchive& a) {
    z_stream& stream = a.inflater.stream();
    a.windowStart = a.windowEnd = 0;
    const uint32_t limit = std::min(uint32_t(a.window.size()), a.remainingUncompressed);
    while (a.windowEnd < limit) {
        if (!feedInflater(a)) {
            a.inflateState = InflateState::Failed;
            return;
        }
        stream.next_out = a.window.data() + a.windowEnd;
        stream.avail_out = limit - a.windowEnd;
        const int result = inflate(&stream, Z_SYNC_FLUSH);
        a.windowEnd = limit - stream.avail_out;
        if (result == Z_STREAM_END) {
            a.inflateState = InflateState::Ended;
            return;
        }
        if (result != Z_OK) {
            a.inflateState = InflateState::Failed;
            return;
        }
    }
}

// With the whole entry delivered, the inflater may still have to consume the tail of the stream
// (its end-of-block code) without producing output; output beyond the size is an error.
int drainInflater(ZipArchive& a) {
    if (a.inflateState == InflateState::Ended) {
        return 0;
    }
    if (a.inflateState == InflateState::Failed) {
        return -1;
    }
    z_stream& stream = a.inflater.stream();
    while (a.remainingCompressed > 0) {
        if (!feedInflater(a)) {
            a.inflateState = InflateState::Failed;
            return -1;
        }
        stream.next_out = a.window.data();
        stream.avail_out = 0;
        const int result = inflate(&stream, Z_SYNC_FLUSH);
        if (result == Z_STREAM_END) {
            a.inflateState = InflateState::Ended;
            return 0;
        }
        if (result != Z_OK) {
            a.inflateState = InflateState::Failed;
            return -1;
        }
    }
    return 0;
}

// Delivers inflated bytes in stream order. A call that reaches the end of the stream returns
// what it delivered; a call that reaches damage returns -1.
int readDeflated(ZipArchive& a, uint8_t* buffer, uint32_t space) {
    if (space == 0) {
        return a.remainingCompressed > 0 ? drainInflater(a) : 0;
    }
    uint32_t delivered = 0;
    while (space > 0) {
        if (a.windowStart == a.windowEnd) {
            if (a.inflateState == InflateState::Ended) {
                break;
            }
            if (a.inflateState == InflateState::Failed) {
                return -1;
            }
            refillWindow(a);
            continue;
        }
        const uint32_t count = std::min(space, a.windowEnd - a.windowStart);
        const uint8_t* from = a.window.data() + a.windowStart;
        std::memcpy(buffer + delivered, from, count);
        a.crc = uint32_t(crc32(a.crc, from, count));
        a.windowStart += count;
        a.remainingUncompressed -= count;
        delivered += count;
        space -= count;
    }
    return int(delivered);
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
    archive->ioBuffer.resize(kIoBufferSize);
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
    if (archive == nullptr) {
        return -1;
    }
    if (!validIndex(*archive, index)) {
        ZipArchiveLastError = ZIPERR_BAD_INDEX;
        return -1;
    }
    if (info == nullptr) {
        return -1;
    }
    const ZipEntry& entry = archive->entries[size_t(index)];
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
    if (!readLocalHeader(*archive, entry, header)) {
        return -1;
    }
    // The directory's name is compared up to its first NUL, as a C string would be.
    const uint16_t centralNameLength = uint16_t(std::strlen(entry.name.c_str()));
    if (((header.flags ^ entry.flags) & 0x0F) != 0 || header.method != entry.method ||
        (entry.method != kMethodStored && entry.method != kMethodDeflated) ||
        header.nameLength != centralNameLength) {
        return -1;
    }
    const int64_t dataOffset = int64_t(entry.localHeaderOffset) + kLocalHeaderSize +
                               header.nameLength + header.extraLength;
    if (!archive->file.seek(dataOffset)) {
        return -1;
    }
    archive->inflater.end();
    if (entry.method == kMethodDeflated) {
        if (!archive->inflater.start()) {
            return -1;
        }
        archive->window.resize(kInflateWindowSize);
    }
    archive->windowStart = archive->windowEnd = 0;
    archive->inflateState = InflateState::Running;
    archive->openEntry = &entry;
    archive->remainingCompressed = entry.compressedSize;
    archive->remainingUncompressed = entry.uncompressedSize;
    archive->crc = 0;
    archive->entryState = kEntryOpen;
    return 0;
}

int ZipArchiveReadEntry(ZipArchive* archive, uint8_t* buffer, uint32_t length) {
    if (archive == nullptr || archive->entryState != kEntryOpen || buffer == nullptr ||
        length == 0) {
        return -1;
    }
    // The count is returned as an int, so one call never delivers more than INT_MAX bytes.
    const uint32_t space = std::min({length, archive->remainingUncompressed, uint32_t(INT_MAX)});
    if (archive->openEntry->method == kMethodStored) {
        return readStored(*archive, buffer, space);
    }
    return readDeflated(*archive, buffer, space);
}

int ZipArchiveCloseEntry(ZipArchive* archive) {
    if (archive == nullptr) {
        return -1;
    }
    if (archive->entryState != kEntryOpen) {
        ZipArchiveLastError = ZIPERR_NO_ENTRY_OPEN;
        return -1;
    }
    const bool whole =
        archive->remainingUncompressed == 0 && archive->crc == archive->openEntry->crc;
    archive->inflater.end();
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
    if (archive == nullptr) {
        return -1;
    }
    if (!validIndex(*archive, index)) {
        ZipArchiveLastError = ZIPERR_BAD_INDEX;
        return -1;
    }
    const ZipEntry& entry = archive->entries[size_t(index)];
    // An open entry reads on from where it is; come back there whatever happens.
    const int64_t resume = archive->file.tell();
    ZipLocalHeader header;
    const bool readable = readLocalHeader(*archive, entry, header);
    archive->file.seek(resume);
    if (!readable || span == nullptr) {
        return -1;
    }
    span->start = entry.localHeaderOffset;
    span->end = span->start + kLocalHeaderSize + header.nameLength + header.extraLength +
                entry.compressedSize;
    return 0;
}
