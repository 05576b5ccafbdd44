#include "zip/ZipLocalData.h"

#include <cstring>

namespace zip_detail {

namespace {

constexpr uint16_t kMethodStored = 0;
constexpr uint16_t kMethodDeflated = 8;

}  // namespace

bool ZipReadLocalHeader(ZipFile& file, const ZipEntry& entry, ZipLocalHeader& header) {
    uint8_t bytes[kLocalHeaderSize];
    if (!file.readExactAt(entry.localHeaderOffset, bytes, kLocalHeaderSize)) {
        return false;
    }
    header = ZipLocalHeader::parse(bytes);
    return header.signature == kLocalHeaderSignature;
}

bool ZipLocalHeaderAgrees(const ZipEntry& entry, const ZipLocalHeader& header) {
    // The directory's name is compared up to its first NUL, as a C string would be.
    const uint16_t centralNameLength = uint16_t(std::strlen(entry.name.c_str()));
    return ((header.flags ^ entry.flags) & 0x0F) == 0 && header.method == entry.method &&
           (entry.method == kMethodStored || entry.method == kMethodDeflated) &&
           header.nameLength == centralNameLength;
}

int64_t ZipDataOffset(const ZipEntry& entry, const ZipLocalHeader& header) {
    return int64_t(entry.localHeaderOffset) + kLocalHeaderSize + header.nameLength +
           header.extraLength;
}

}  // namespace zip_detail
