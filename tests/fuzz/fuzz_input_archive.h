// The fuzz input opened as an archive, the way the tool opens a downloaded one: from a file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

#include "zip/ZipArchive.h"

// Writes the input to a scratch file named after tag and the process, opens it and removes the
// name at once: the open stream keeps the data, and nothing is left behind even when the run ends
// by a signal or a crash. Never null: the file existed, so the open must give a handle.
inline ZipArchive* OpenInputAsArchive(const uint8_t* data, size_t size, const char* tag) {
    static std::string path;
    if (path.empty()) {
        const char* shm = "/dev/shm";
        const char* tmp = std::getenv("TMPDIR");
        const std::string folder = access(shm, W_OK) == 0 ? shm : (tmp != nullptr ? tmp : "/tmp");
        path = folder + "/torv-fuzz-" + tag + "-" + std::to_string(getpid()) + ".zip";
    }
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        std::abort();
    }
    const bool written = std::fwrite(data, 1, size, f) == size;
    if (std::fclose(f) != 0 || !written) {
        std::abort();
    }
    ZipArchive* archive = ZipArchiveOpen(path.c_str(), 0);
    std::remove(path.c_str());
    if (archive == nullptr) {
        std::abort();
    }
    return archive;
}
