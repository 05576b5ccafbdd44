// The zip reader: an opaque archive handle and free functions that return 0 or a count on
// success and -1 on failure, with one process-wide last-error code. Plain C++ over zlib and
// libdeflate; no Qt.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

struct ZipArchive;

struct ZipEntryInfo {
    const char* name;  // stored name, NUL-terminated; owned by the archive until ZipArchiveClose
    uint32_t size;     // uncompressed size
};

enum ZipArchiveError {
    ZIPERR_BAD_DIRECTORY = 1,
    ZIPERR_WRITE_WHILE_OPEN = 2,
    ZIPERR_NO_ENTRY_OPEN = 3,
    ZIPERR_BAD_INDEX = 4,
};

// Set by some failures and never cleared; 0 at program start.
extern int ZipArchiveLastError;

// mode 0: read-only; any other mode: update (an existing file opens for reading and writing,
// a missing one is created as an empty archive). Null when the file cannot be opened.
ZipArchive* ZipArchiveOpen(const char* path, int mode);
int ZipArchiveGetEntryCount(ZipArchive* archive);
int ZipArchiveGetEntryInfo(ZipArchive* archive, int index, ZipEntryInfo* info);
int ZipArchiveOpenEntry(ZipArchive* archive, int index);
int ZipArchiveReadEntry(ZipArchive* archive, uint8_t* buffer, uint32_t length);
int ZipArchiveCloseEntry(ZipArchive* archive);
int ZipArchiveClose(ZipArchive* archive);

// Bytes [local header offset, end of the entry's compressed data) of an entry in the file, for
// callers that refuse archives whose entries overlap. Reads the entry's local header for its name
// and extra lengths without disturbing an open entry. -1 for a null archive, a bad index
// (error 4), or a local header that cannot be read whole or has a wrong signature.
struct ZipEntrySpan {
    uint64_t start;
    uint64_t end;
};
int ZipArchiveGetEntrySpan(ZipArchive* archive, int index, ZipEntrySpan* span);

// Whole-entry extraction, beside the streaming reads and much faster for entries that fit in
// memory: the entry's raw data is taken from the archive (on the archive's thread), then decoded
// in one piece on any thread. An entry is refused exactly when opening it, reading it in
// 1024-byte steps until a read returns less and closing it would fail, and otherwise delivers
// the same bytes.

struct ZipEntrySizes {
    uint16_t method;
    uint32_t compressedSize;
    uint32_t uncompressedSize;
};
// From the directory. -1 for a null archive or a bad index (error 4).
int ZipArchiveGetEntrySizes(ZipArchive* archive, int index, ZipEntrySizes* sizes);

struct ZipRawEntry {
    uint16_t method = 0;
    uint32_t crc = 0;
    uint32_t compressedSize = 0;
    uint32_t uncompressedSize = 0;
    // The entry's data as far as the file holds it (for a stored entry, no more than its size).
    // The buffer is kept and grown only when needed, so one record serves many entries.
    std::unique_ptr<uint8_t[]> data;
    size_t size = 0;
    size_t capacity = 0;
};

// Checks the local header as ZipArchiveOpenEntry does and reads the entry's data in one piece;
// an open entry reads on undisturbed. -1 for a null archive or raw record, a bad index
// (error 4), or an entry that ZipArchiveOpenEntry would refuse.
int ZipArchiveTakeEntry(ZipArchive* archive, int index, ZipRawEntry* raw);

// Decodes taken data into out, which has room for capacity bytes, and checks the size and the
// CRC-32: 0 when the entry is whole (its uncompressedSize bytes are in out), -1 when it is
// damaged or does not fit. Touches no archive and no shared state, so any thread may call it.
// A stored entry may be checked in place: out may be raw.data.
int ZipDecodeEntry(const ZipRawEntry& raw, uint8_t* out, uint64_t capacity);

// Both steps at once.
int ZipArchiveExtractEntry(ZipArchive* archive, int index, uint8_t* out, uint64_t capacity);
