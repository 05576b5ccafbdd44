// Opens the input as an archive and reads every entry the way the extraction step does.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

#include "zip/ZipArchive.h"

namespace {

// Enough for every entry of a sane input; stops inflate bombs from eating the run's time.
constexpr uint64_t kInflateCapPerInput = 512u << 10;

// One name per process; the file lives only while an input is being opened.
const std::string& scratchPath() {
    static std::string path;
    if (path.empty()) {
        const char* shm = "/dev/shm";
        const char* tmp = std::getenv("TMPDIR");
        const std::string folder = access(shm, W_OK) == 0 ? shm : (tmp != nullptr ? tmp : "/tmp");
        path = folder + "/torv-fuzz-zip-" + std::to_string(getpid()) + ".zip";
    }
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& path = scratchPath();
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        std::abort();
    }
    const bool written = std::fwrite(data, 1, size, f) == size;
    if (std::fclose(f) != 0 || !written) {
        std::abort();
    }

    ZipArchive* archive = ZipArchiveOpen(path.c_str(), 0);
    // The open stream keeps the data; removing the name now leaves nothing behind, even when
    // the run ends by a signal or a crash.
    std::remove(path.c_str());
    if (archive == nullptr) {
        std::abort();  // the file existed, so the open must give a handle
    }
    uint64_t inflated = 0;
    uint8_t buffer[1024];
    const int count = ZipArchiveGetEntryCount(archive);
    for (int i = 0; i < count; ++i) {
        ZipEntryInfo info{};
        if (ZipArchiveGetEntryInfo(archive, i, &info) != 0 || info.name == nullptr) {
            std::abort();
        }
        ZipEntrySpan span{};
        if (ZipArchiveGetEntrySpan(archive, i, &span) == 0 && span.end < span.start) {
            std::abort();
        }
        if (ZipArchiveOpenEntry(archive, i) != 0) {
            continue;
        }
        int n = 0;
        while (inflated < kInflateCapPerInput &&
               (n = ZipArchiveReadEntry(archive, buffer, sizeof buffer)) == int(sizeof buffer)) {
            inflated += uint64_t(n);
        }
        if (n < -1 || n > int(sizeof buffer)) {
            std::abort();
        }
        ZipArchiveCloseEntry(archive);
    }
    ZipArchiveClose(archive);
    return 0;
}
