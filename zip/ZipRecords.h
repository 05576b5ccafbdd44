// The fixed-size records of the zip format, taken apart from their little-endian bytes.
#pragma once

#include <cstdint>
#include <string>

namespace zip_detail {

constexpr uint32_t kEndRecordSignature = 0x06054B50;
constexpr uint32_t kCentralRecordSignature = 0x02014B50;
constexpr uint32_t kLocalHeaderSignature = 0x04034B50;

constexpr uint32_t kEndRecordSize = 22;
constexpr uint32_t kCentralRecordSize = 46;
constexpr uint32_t kLocalHeaderSize = 30;

inline uint16_t readLe16(const uint8_t* p) {
    return uint16_t(p[0] | (p[1] << 8));
}
inline uint32_t readLe32(const uint8_t* p) {
    return uint32_t(readLe16(p)) | (uint32_t(readLe16(p + 2)) << 16);
}

struct ZipEndRecord {
    uint32_t signature = 0;
    uint16_t thisDisk = 0;
    uint16_t directoryDisk = 0;
    uint16_t entriesOnDisk = 0;
    uint16_t totalEntries = 0;
    uint32_t directorySize = 0;
    uint32_t directoryOffset = 0;
    uint16_t commentLength = 0;

    static ZipEndRecord parse(const uint8_t* p);
    void serialize(uint8_t* p) const;
};

// One central directory record; the name is an owned copy of the stored bytes.
struct ZipEntry {
    uint32_t signature = 0;
    uint16_t versionMadeBy = 0;
    uint16_t versionNeeded = 0;
    uint16_t flags = 0;
    uint16_t method = 0;
    uint16_t modTime = 0;
    uint16_t modDate = 0;
    uint32_t crc = 0;
    uint32_t compressedSize = 0;
    uint32_t uncompressedSize = 0;
    uint16_t nameLength = 0;
    uint16_t extraLength = 0;
    uint16_t commentLength = 0;
    uint16_t diskNumberStart = 0;
    uint16_t internalAttributes = 0;
    uint32_t externalAttributes = 0;
    uint32_t localHeaderOffset = 0;
    std::string name;

    // Everything but the name, from the 46-byte fixed part.
    static ZipEntry parse(const uint8_t* p);
};

struct ZipLocalHeader {
    uint32_t signature = 0;
    uint16_t flags = 0;
    uint16_t method = 0;
    uint16_t nameLength = 0;
    uint16_t extraLength = 0;

    static ZipLocalHeader parse(const uint8_t* p);
};

}  // namespace zip_detail
