// Builds zip archives byte by byte, so that a test controls every field, including wrong ones.
// Entries are written in order (local header, data, optional data descriptor), then the central
// directory, then the end record. Every field the builder would compute can be overridden.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace torv::test {

// zlib's raw deflate (no header, no trailer), as zip's method 8 stores it.
std::string rawDeflate(const std::string& data, int level = 6);

// Little-endian patching of an already built archive.
void patch16(std::string& bytes, size_t offset, uint16_t value);
void patch32(std::string& bytes, size_t offset, uint32_t value);

struct ZipBuilderEntry {
    std::string name;
    std::string data;     // the uncompressed content
    uint16_t method = 8;  // 8: the builder deflates data; any other value stores data as it is

    // Overrides; unset means "what a correct archive would hold".
    std::optional<std::string> payload;  // the bytes written as entry data
    std::optional<uint32_t> crc;
    std::optional<uint32_t> compressedSize;
    std::optional<uint32_t> uncompressedSize;
    std::optional<uint16_t> localFlags;
    std::optional<uint16_t> localMethod;
    std::optional<std::string> localName;
    std::optional<uint32_t> localHeaderOffset;  // as written in the central record
    std::string extra;                          // central extra field
    std::string localExtra;
    std::string comment;          // central file comment
    bool dataDescriptor = false;  // sets flag bit 3, zeroes the local sizes, appends a descriptor
};

struct ZipLayout {
    std::vector<uint64_t> localHeaderOffsets;
    std::vector<uint64_t> dataEnds;  // one past each entry's data
    uint64_t directoryOffset = 0;
};

struct ZipBuilder {
    // Returns the new entry so a test can override its fields before build(); the reference
    // stays valid while the builder lives.
    ZipBuilderEntry& add(std::string name, std::string data, uint16_t method = 8);

    std::string prefix;   // bytes before the first local header
    std::string comment;  // archive comment
    std::optional<uint16_t> totalEntries;
    std::optional<uint32_t> directoryOffset;
    std::string trailer;  // bytes after the archive comment

    std::string build(ZipLayout* layout = nullptr) const;

    std::deque<ZipBuilderEntry> entries;
};

}  // namespace torv::test
