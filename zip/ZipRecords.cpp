#include "zip/ZipRecords.h"

namespace zip_detail {

namespace {

void writeLe16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v & 0xFF);
    p[1] = uint8_t(v >> 8);
}

void writeLe32(uint8_t* p, uint32_t v) {
    writeLe16(p, uint16_t(v & 0xFFFF));
    writeLe16(p + 2, uint16_t(v >> 16));
}

}  // namespace

ZipEndRecord ZipEndRecord::parse(const uint8_t* p) {
    ZipEndRecord r;
    r.signature = readLe32(p);
    r.thisDisk = readLe16(p + 4);
    r.directoryDisk = readLe16(p + 6);
    r.entriesOnDisk = readLe16(p + 8);
    r.totalEntries = readLe16(p + 10);
    r.directorySize = readLe32(p + 12);
    r.directoryOffset = readLe32(p + 16);
    r.commentLength = readLe16(p + 20);
    return r;
}

void ZipEndRecord::serialize(uint8_t* p) const {
    writeLe32(p, signature);
    writeLe16(p + 4, thisDisk);
    writeLe16(p + 6, directoryDisk);
    writeLe16(p + 8, entriesOnDisk);
    writeLe16(p + 10, totalEntries);
    writeLe32(p + 12, directorySize);
    writeLe32(p + 16, directoryOffset);
    writeLe16(p + 20, commentLength);
}

ZipEntry ZipEntry::parse(const uint8_t* p) {
    ZipEntry e;
    e.signature = readLe32(p);
    e.versionMadeBy = readLe16(p + 4);
    e.versionNeeded = readLe16(p + 6);
    e.flags = readLe16(p + 8);
    e.method = readLe16(p + 10);
    e.modTime = readLe16(p + 12);
    e.modDate = readLe16(p + 14);
    e.crc = readLe32(p + 16);
    e.compressedSize = readLe32(p + 20);
    e.uncompressedSize = readLe32(p + 24);
    e.nameLength = readLe16(p + 28);
    e.extraLength = readLe16(p + 30);
    e.commentLength = readLe16(p + 32);
    e.diskNumberStart = readLe16(p + 34);
    e.internalAttributes = readLe16(p + 36);
    e.externalAttributes = readLe32(p + 38);
    e.localHeaderOffset = readLe32(p + 42);
    return e;
}

ZipLocalHeader ZipLocalHeader::parse(const uint8_t* p) {
    ZipLocalHeader h;
    h.signature = readLe32(p);
    h.flags = readLe16(p + 6);
    h.method = readLe16(p + 8);
    h.nameLength = readLe16(p + 26);
    h.extraLength = readLe16(p + 28);
    return h;
}

}  // namespace zip_detail
