// The fuzz input opened from a file as the tool opens a download, and read as extraction reads.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <unistd.h>

#include "zip/ZipArchive.h"

// The name goes as soon as the archive is open, so a crash leaves nothing behind. Never null.
inline ZipArchive* OpenInputAsArchive(const uint8_t* data, size_t size, const char* tag) {
    static const char* folder = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : std::getenv("TMPDIR");
    static const std::string path = std::string(folder != nullptr ? folder : "/tmp") +
                                    "/torv-fuzz-" + tag + "-" + std::to_string(getpid()) + ".zip";
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr || std::fwrite(data, 1, size, f) != size || std::fclose(f) != 0) {
        std::abort();
    }
    ZipArchive* archive = ZipArchiveOpen(path.c_str(), 0);
    std::remove(path.c_str());
    if (archive == nullptr) {
        std::abort();
    }
    return archive;
}

// Reads 1024-byte steps until one returns less or more than limit bytes came; true when the entry
// opened, every read succeeded and the close found it whole. A result outside -1..1024 aborts.
inline bool ReadInSteps(ZipArchive* archive, int index, std::vector<uint8_t>& out, size_t limit) {
    out.clear();
    if (ZipArchiveOpenEntry(archive, index) != 0) {
        return false;
    }
    uint8_t buffer[1024];
    int n = 0;
    do {
        n = ZipArchiveReadEntry(archive, buffer, sizeof buffer);
        if (n < -1 || n > int(sizeof buffer)) {
            std::abort();
        }
        out.insert(out.end(), buffer, buffer + (n > 0 ? n : 0));
    } while (n == int(sizeof buffer) && out.size() <= limit);
    return ZipArchiveCloseEntry(archive) == 0 && n >= 0;
}
