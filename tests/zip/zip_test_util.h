// Small helpers shared by the zip reader's tests.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "zip/ZipArchive.h"

namespace torv::test {

using ArchivePtr = std::unique_ptr<ZipArchive, int (*)(ZipArchive*)>;

inline ArchivePtr openArchive(const std::string& path, int mode = 0) {
    return ArchivePtr(ZipArchiveOpen(path.c_str(), mode), ZipArchiveClose);
}

struct EntryRead {
    int open = 0;
    std::vector<int> reads;  // every result, the last one being the read that stopped it
    std::string data;
    int close = -1;  // also when the entry did not open
};

// Reads chunk by chunk until a read returns anything but a full chunk, as extraction does; bounded.
inline EntryRead readEntry(ZipArchive* archive, int index, uint32_t chunk = 1024) {
    EntryRead result;
    result.open = ZipArchiveOpenEntry(archive, index);
    if (result.open != 0) {
        return result;
    }
    std::string buffer(chunk, '\0');
    for (int i = 0, n = int(chunk); n == int(chunk) && i < (1 << 22); ++i) {
        n = ZipArchiveReadEntry(archive, reinterpret_cast<uint8_t*>(buffer.data()), chunk);
        result.reads.push_back(n);
        result.data.append(buffer, 0, size_t(std::max(n, 0)));
    }
    result.close = ZipArchiveCloseEntry(archive);
    return result;
}

// An entry through the whole-entry path: its bytes, or nothing when it was refused.
inline std::optional<std::string> extractWhole(ZipArchive* archive, int index) {
    ZipEntrySizes sizes{};
    if (ZipArchiveGetEntrySizes(archive, index, &sizes) != 0) {
        return std::nullopt;
    }
    std::string out(sizes.uncompressedSize, '\0');
    auto* to = reinterpret_cast<uint8_t*>(out.data());
    if (ZipArchiveExtractEntry(archive, index, to, out.size()) != 0) {
        return std::nullopt;
    }
    return out;
}

// Deterministic incompressible bytes.
inline std::string noise(size_t size, uint32_t seed = 1) {
    std::string out(size, '\0');
    for (char& c : out) {
        seed = seed * 1103515245u + 12345u;
        c = char(seed >> 16);
    }
    return out;
}

// Compressible text that looks like level data.
inline std::string levelText(size_t size) {
    std::string out;
    for (int i = 0; out.size() < size; ++i) {
        out += "room " + std::to_string(i) + " wall" + std::to_string(i % 9) + ".ogf light 0.7\n";
    }
    out.resize(size);
    return out;
}

}  // namespace torv::test
