#include "support/zip_builder.h"

#include <zlib.h>

#include <fstream>
#include <stdexcept>

namespace torv::test {

namespace {

void put16(std::string& out, uint16_t v) {
    out.push_back(char(v & 0xFF));
    out.push_back(char(v >> 8));
}

void put32(std::string& out, uint32_t v) {
    put16(out, uint16_t(v & 0xFFFF));
    put16(out, uint16_t(v >> 16));
}

// The fields a local header and a central record share, from "version needed" to the extra
// field's length.
void putCommon(std::string& out, uint16_t flags, uint16_t method, uint32_t crc, uint32_t csize,
               uint32_t usize, const std::string& name, const std::string& extra) {
    put16(out, 20);
    put16(out, flags);
    put16(out, method);
    put32(out, 0x5A216000);  // 2025-01-01 12:00
    put32(out, crc);
    put32(out, csize);
    put32(out, usize);
    put16(out, uint16_t(name.size()));
    put16(out, uint16_t(extra.size()));
}

}  // namespace

std::string rawDeflate(const std::string& data, int level) {
    z_stream s{};
    if (deflateInit2(&s, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        throw std::runtime_error("deflateInit2 failed");
    }
    std::string out(deflateBound(&s, uLong(data.size())) + 16, '\0');
    s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    s.avail_in = uInt(data.size());
    s.next_out = reinterpret_cast<Bytef*>(out.data());
    s.avail_out = uInt(out.size());
    const int rc = deflate(&s, Z_FINISH);
    out.resize(s.total_out);
    deflateEnd(&s);
    if (rc != Z_STREAM_END) {
        throw std::runtime_error("deflate did not finish");
    }
    return out;
}

void patch16(std::string& bytes, size_t offset, uint16_t value) {
    bytes.at(offset) = char(value & 0xFF);
    bytes.at(offset + 1) = char(value >> 8);
}

void patch32(std::string& bytes, size_t offset, uint32_t value) {
    patch16(bytes, offset, uint16_t(value & 0xFFFF));
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
        put32(out, 0x04034B50);
        putCommon(out, e.localFlags.value_or(flags), e.localMethod.value_or(e.method),
                  unlessDescribed(crc), unlessDescribed(csize), unlessDescribed(usize), lname,
                  e.localExtra);
        out += lname + e.localExtra + payload;
        local.dataEnds.push_back(out.size());
        if (e.dataDescriptor) {
            put32(out, 0x08074B50);
            put32(out, crc);
            put32(out, csize);
            put32(out, usize);
        }

        put32(directory, 0x02014B50);
        put16(directory, 0x031E);  // made by Unix, version 3.0
        putCommon(directory, flags, e.method, crc, csize, usize, e.name, e.extra);
        put16(directory, uint16_t(e.comment.size()));
        put32(directory, 0);           // disk number, internal attributes
        put32(directory, 0x81A40000);  // -rw-r--r--
        put32(directory, e.localHeaderOffset.value_or(uint32_t(local.localHeaderOffsets.back())));
        directory += e.name + e.extra + e.comment;
    }

    local.directoryOffset = out.size();
    out += directory;
    const uint16_t count = totalEntries.value_or(uint16_t(entries.size()));
    put32(out, 0x06054B50);
    put32(out, 0);  // disk numbers
    put16(out, count);
    put16(out, count);
    put32(out, uint32_t(directory.size()));
    put32(out, directoryOffset.value_or(uint32_t(local.directoryOffset)));
    put16(out, uint16_t(comment.size()));
    out += comment + trailer;
    if (layout != nullptr) {
        *layout = std::move(local);
    }
    return out;
}

std::string ZipBuilder::writeTo(const std::string& path, ZipLayout* layout) const {
    const std::string bytes = build(layout);
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file.write(bytes.data(), std::streamsize(bytes.size()))) {
        throw std::runtime_error("cannot write " + path);
    }
    return bytes;
}

}  // namespace torv::test
