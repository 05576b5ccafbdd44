#include "support/zip_builder.h"

#include <zlib.h>

#include <stdexcept>

namespace torv::test {

namespace {

// Appends v as that many little-endian bytes.
void put(std::string& out, uint32_t v, int bytes = 4) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(char(v >> (8 * i)));
    }
}

// The fields a local header and a central record share, from "version needed" to the extra
// field's length.
void putCommon(std::string& out, uint16_t flags, uint16_t method, uint32_t crc, uint32_t csize,
               uint32_t usize, const std::string& name, const std::string& extra) {
    for (const uint16_t v : {uint16_t(20), flags, method}) {
        put(out, v, 2);
    }
    for (const uint32_t v : {0x5A216000u, crc, csize, usize}) {  // the time: 2025-01-01 12:00
        put(out, v);
    }
    put(out, uint16_t(name.size()), 2);
    put(out, uint16_t(extra.size()), 2);
}

}  // namespace

std::string rawDeflate(const std::string& data, int level) {
    uLongf size = compressBound(uLong(data.size()));
    std::string out(size, '\0');
    if (compress2(reinterpret_cast<Bytef*>(out.data()), &size,
                  reinterpret_cast<const Bytef*>(data.data()), uLong(data.size()), level) != Z_OK) {
        throw std::runtime_error("compress2 failed");
    }
    return out.substr(2, size - 6);  // without zlib's two-byte header and four-byte checksum
}

void patch16(std::string& bytes, size_t offset, uint16_t value) {
    bytes.at(offset) = char(value);
    bytes.at(offset + 1) = char(value >> 8);
}

void patch32(std::string& bytes, size_t offset, uint32_t value) {
    patch16(bytes, offset, uint16_t(value));
    patch16(bytes, offset + 2, uint16_t(value >> 16));
}

ZipBuilderEntry& ZipBuilder::add(std::string name, std::string data, uint16_t method) {
    ZipBuilderEntry& e = entries.emplace_back();
    e.name = std::move(name);
    e.data = std::move(data);
    e.method = method;
    return e;
}

std::string ZipBuilder::build(ZipLayout* layout) const {
    ZipLayout local;
    std::string out = prefix;
    std::string directory;
    for (const ZipBuilderEntry& e : entries) {
        const std::string payload =
            e.payload ? *e.payload : (e.method == 8 ? rawDeflate(e.data) : e.data);
        const uint16_t flags = e.dataDescriptor ? 0x08 : 0;
        const uint32_t crc = e.crc.value_or(uint32_t(
            crc32(0L, reinterpret_cast<const Bytef*>(e.data.data()), uInt(e.data.size()))));
        const uint32_t csize = e.compressedSize.value_or(uint32_t(payload.size()));
        const uint32_t usize = e.uncompressedSize.value_or(uint32_t(e.data.size()));
        const std::string& lname = e.localName.value_or(e.name);
        const auto unlessDescribed = [&](uint32_t v) { return e.dataDescriptor ? 0u : v; };

        local.localHeaderOffsets.push_back(out.size());
        put(out, 0x04034B50);
        putCommon(out, e.localFlags.value_or(flags), e.localMethod.value_or(e.method),
                  unlessDescribed(crc), unlessDescribed(csize), unlessDescribed(usize), lname,
                  e.localExtra);
        out += lname + e.localExtra + payload;
        local.dataEnds.push_back(out.size());
        if (e.dataDescriptor) {
            for (const uint32_t v : {0x08074B50u, crc, csize, usize}) {
                put(out, v);
            }
        }

        put(directory, 0x02014B50);
        put(directory, 0x031E, 2);  // made by Unix, version 3.0
        putCommon(directory, flags, e.method, crc, csize, usize, e.name, e.extra);
        put(directory, uint16_t(e.comment.size()), 2);
        put(directory, 0);           // disk number, internal attributes
        put(directory, 0x81A40000);  // -rw-r--r--
        put(directory, e.localHeaderOffset.value_or(uint32_t(local.localHeaderOffsets.back())));
        directory += e.name + e.extra + e.comment;
    }

    local.directoryOffset = out.size();
    out += directory;
    const uint16_t count = totalEntries.value_or(uint16_t(entries.size()));
    put(out, 0x06054B50);
    put(out, 0);  // disk numbers
    put(out, count, 2);
    put(out, count, 2);
    put(out, uint32_t(directory.size()));
    put(out, directoryOffset.value_or(uint32_t(local.directoryOffset)));
    put(out, uint16_t(comment.size()), 2);
    out += comment + trailer;
    if (layout != nullptr) {
        *layout = std::move(local);
    }
    return out;
}

}  // namespace torv::test
