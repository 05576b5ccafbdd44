// Extracts every entry of the input twice, through the 1024-byte reads and through the
// whole-entry path: both must deliver the same bytes, or both must refuse the entry.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <unistd.h>

#include "zip/ZipArchive.h"

namespace {

// Larger declared sizes are skipped, so inflate bombs cannot eat the run's time.
constexpr uint32_t kMaxEntrySize = 1u << 20;
constexpr uint32_t kStep = 1024;

const std::string& scratchPath() {
    static std::string path;
    if (path.empty()) {
        const char* shm = "/dev/shm";
        const char* tmp = std::getenv("TMPDIR");
        const std::string folder = access(shm, W_OK) == 0 ? shm : (tmp != nullptr ? tmp : "/tmp");
        path = folder + "/torv-fuzz-zip-extract-" + std::to_string(getpid()) + ".zip";
    }
    return path;
}

// The extraction step's way: read until a read returns less than a step, then close.
bool readInSteps(ZipArchive* archive, int index, std::vector<uint8_t>& out) {
    out.clear();
    if (ZipArchiveOpenEntry(archive, index) != 0) {
        return false;
    }
    uint8_t buffer[kStep];
    int n = 0;
    bool failed = false;
    do {
        n = ZipArchiveReadEntry(archive, buffer, kStep);
        if (n < -1 || n > int(kStep)) {
            std::abort();
        }
        failed = n < 0;
        if (n > 0) {
            out.insert(out.end(), buffer, buffer + n);
        }
    } while (n == int(kStep) && out.size() <= kMaxEntrySize);
    return ZipArchiveCloseEntry(archive) == 0 && !failed;
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
    std::remove(path.c_str());
    if (archive == nullptr) {
        std::abort();
    }
    std::vector<uint8_t> streamed;
    const int count = ZipArchiveGetEntryCount(archive);
    for (int i = 0; i < count; ++i) {
        ZipEntrySizes sizes{};
        if (ZipArchiveGetEntrySizes(archive, i, &sizes) != 0) {
            std::abort();
        }
        if (sizes.uncompressedSize > kMaxEntrySize) {
            continue;
        }
        // One byte of slack past the size: the whole-entry path must never write there.
        std::vector<uint8_t> whole(size_t(sizes.uncompressedSize) + 1, 0xA5);
        const bool wholeOk = ZipArchiveExtractEntry(archive, i, whole.data(), whole.size()) == 0;
        const bool streamedOk = readInSteps(archive, i, streamed);
        if (wholeOk != streamedOk || whole.back() != 0xA5) {
            std::abort();
        }
        if (wholeOk && (streamed.size() != sizes.uncompressedSize ||
                        !std::equal(streamed.begin(), streamed.end(), whole.begin()))) {
            std::abort();
        }
    }
    ZipArchiveClose(archive);
    return 0;
}
