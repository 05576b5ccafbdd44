// Decoding a taken entry in one piece: libdeflate for the common case of a sound stream, and
// the streaming machine over the same bytes for everything libdeflate refuses, so that damage
// is judged exactly as the 1024-byte reads judge it.
#include <libdeflate.h>

#include <cstring>
#include <memory>

#include "zip/ZipArchive.h"
#include "zip/ZipEntryStream.h"
#include "zip/ZipRecords.h"

using namespace zip_detail;

namespace {

constexpr uint16_t kMethodDeflated = 8;
constexpr uint32_t kReadStep = 1024;

struct DecompressorFree {
    void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
};

// One per thread, kept for the thread's life: allocating one costs more than a small entry.
libdeflate_decompressor* threadDecompressor() {
    thread_local std::unique_ptr<libdeflate_decompressor, DecompressorFree> decompressor(
        libdeflate_alloc_decompressor());
    return decompressor.get();
}

bool crcMatches(const ZipRawEntry& raw, const uint8_t* out) {
    return libdeflate_crc32(0, out, raw.uncompressedSize) == raw.crc;
}

// libdeflate wants the whole stream, ending in its final block, to give exactly the declared
// size. Whatever it refuses may still read whole in steps (a stream cut right after its last
// byte, a size that ends inside the data), so the steps decide.
bool inflateWhole(const ZipRawEntry& raw, uint8_t* out) {
    libdeflate_decompressor* decompressor = threadDecompressor();
    if (decompressor == nullptr || raw.size != raw.compressedSize) {
        return false;
    }
    uint8_t none = 0;
    const libdeflate_result result = libdeflate_deflate_decompress(
        decompressor, raw.size > 0 ? raw.data.get() : &none, raw.size,
        raw.uncompressedSize > 0 ? out : &none, raw.uncompressedSize, nullptr);
    return result == LIBDEFLATE_SUCCESS && crcMatches(raw, out);
}

bool readInSteps(const ZipRawEntry& raw, uint8_t* out) {
    ZipEntry entry;
    entry.method = raw.method;
    entry.crc = raw.crc;
    entry.compressedSize = raw.compressedSize;
    entry.uncompressedSize = raw.uncompressedSize;
    ZipEntryStream stream;
    if (!stream.start(entry, ZipEntryInput(raw.data.get(), raw.size))) {
        return false;
    }
    // out has room for the declared size, and a step never delivers past it.
    uint64_t delivered = 0;
    int n = 0;
    while ((n = stream.read(out + delivered, kReadStep)) == int(kReadStep)) {
        delivered += kReadStep;
    }
    return n >= 0 && stream.whole();
}

}  // namespace

int ZipDecodeEntry(const ZipRawEntry& raw, uint8_t* out, uint64_t capacity) {
    if (out == nullptr || capacity < raw.uncompressedSize) {
        return -1;
    }
    if (raw.method != kMethodDeflated) {
        // Stored: the size's worth of bytes must all be there.
        if (raw.size < raw.uncompressedSize) {
            return -1;
        }
        if (raw.uncompressedSize > 0 && out != raw.data.get()) {
            std::memcpy(out, raw.data.get(), raw.uncompressedSize);
        }
        return crcMatches(raw, out) ? 0 : -1;
    }
    if (inflateWhole(raw, out)) {
        return 0;
    }
    return readInSteps(raw, out) ? 0 : -1;
}

int ZipArchiveExtractEntry(ZipArchive* archive, int index, uint8_t* out, uint64_t capacity) {
    ZipRawEntry raw;
    if (ZipArchiveTakeEntry(archive, index, &raw) != 0) {
        return -1;
    }
    return ZipDecodeEntry(raw, out, capacity);
}
