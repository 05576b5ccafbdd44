// The zip reader: an opaque archive handle and free functions that return 0 or a count on
// success and -1 on failure, with one process-wide last-error code. Plain C++ over zlib; no Qt.
#pragma once

#include <cstdint>

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
