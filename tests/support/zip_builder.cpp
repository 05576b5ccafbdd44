#include "support/zip_builder.h"

#include <zlib.h>

#include <cstdio>
#include <memory>
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

std::string payloadOf(const ZipBuilderEntry& e) {
    if (e.payload) {
        return *e.payload;
    }
    return e.method == 8 ? rawDeflate(e.data) : e.data;
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

uint32_t crc32Of(const std::string& data) {
    return uint32_t(crc32(0L, reinterpret_cast<const Bytef*>(data.data()), uInt(data.size())));
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
    ZipBuilderEntry e;
    e.name = std::move(name);
    e.data = std::move(data);
    e.method = method;
    entries.push_back(std::move(e));
    return entries.back();
}

std::string ZipBuilder::build(ZipLayout* layout) const {
    ZipLayout local;
    std::string out = prefix;
    std::vector<std::string> payloads;
    for (const ZipBuilderEntry& e : entries) {
        payloads.push_back(payloadOf(e));
        const std::string& payload = payloads.back();
        const uint16_t flags = uint16_t(e.flags | (e.dataDescriptor ? 0x08 : 0));
        const uint32_t crc = e.crc.value_or(crc32Of(e.data));
        const uint32_t csize = e.compressedSize.value_or(uint32_t(payload.size()));
        const uint32_t usize = e.uncompressedSize.value_or(uint32_t(e.data.size()));
        const std::string& lname = e.localName ? *e.localName : e.name;

        local.localHeaderOffsets.push_back(out.size());
        put32(out, 0x04034B50);
        put16(out, 20);
        put16(out, e.localFlags.value_or(flags));
        put16(out, e.localMethod.value_or(e.method));
        put16(out, 0x6000);  // 12:00
        put16(out, 0x5A21);  // 2025-01-01
        put32(out, e.dataDescriptor ? 0 : crc);
        put32(out, e.dataDescriptor ? 0 : csize);
        put32(out, e.dataDescriptor ? 0 : usize);
        put16(out, uint16_t(lname.size()));
        put16(out, uint16_t(e.localExtra.size()));
        out += lname;
        out += e.localExtra;
        local.dataOffsets.push_back(out.size());
        out += payload;
        local.dataEnds.push_back(out.size());
        if (e.dataDescriptor) {
            put32(out, 0x08074B50);
            put32(out, crc);
            put32(out, csize);
            put32(out, usize);
        }
    }

    local.directoryOffset = out.size();
    for (size_t i = 0; i < entries.size(); ++i) {
        const ZipBuilderEntry& e = entries[i];
        const uint16_t flags = uint16_t(e.flags | (e.dataDescriptor ? 0x08 : 0));
        put32(out, 0x02014B50);
        put16(out, 0x031E);  // made by Unix, version 3.0
        put16(out, 20);
        put16(out, flags);
        put16(out, e.method);
        put16(out, 0x6000);
        put16(out, 0x5A21);
        put32(out, e.crc.value_or(crc32Of(e.data)));
        put32(out, e.compressedSize.value_or(uint32_t(payloads[i].size())));
        put32(out, e.uncompressedSize.value_or(uint32_t(e.data.size())));
        put16(out, uint16_t(e.name.size()));
        put16(out, uint16_t(e.extra.size()));
        put16(out, uint16_t(e.comment.size()));
        put16(out, 0);
        put16(out, 0);
        put32(out, 0x81A40000);  // -rw-r--r--
        put32(out, e.localHeaderOffset.value_or(uint32_t(local.localHeaderOffsets[i])));
        out += e.name;
        out += e.extra;
        out += e.comment;
    }
    const uint64_t directoryEnd = out.size();

    local.endRecordOffset = out.size();
    const uint16_t count = uint16_t(entries.size());
    put32(out, 0x06054B50);
    put16(out, 0);
    put16(out, 0);
    put16(out, entriesOnDisk.value_or(totalEntries.value_or(count)));
    put16(out, totalEntries.value_or(count));
    put32(out, directorySize.value_or(uint32_t(directoryEnd - local.directoryOffset)));
    put32(out, directoryOffset.value_or(uint32_t(local.directoryOffset)));
    put16(out, commentLength.value_or(uint16_t(comment.size())));
    out += comment;
    out += trailer;
    if (layout != nullptr) {
        *layout = std::move(local);
    }
    return out;
}

std::string ZipBuilder::writeTo(const std::string& path, ZipLayout* layout) const {
    const std::string bytes = build(layout);
    std::unique_ptr<FILE, int (*)(FILE*)> f(std::fopen(path.c_str(), "wb"), &std::fclose);
    if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f.get()) != bytes.size()) {
        throw std::runtime_error("cannot write " + path);
    }
    return bytes;
}

}  // namespace torv::test
