// Extracts every entry of the input twice, through the 1024-byte reads and through the
// whole-entry path: both must deliver the same bytes, or both must refuse the entry.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <unistd.h>

#include "fuzz_input_archive.h"
#include "zip/ZipArchive.h"

namespace {

// Larger declared sizes are skipped, so inflate bombs cannot eat the run's time.
constexpr uint32_t kMaxEntrySize = 1u << 20;
constexpr uint32_t kStep = 1024;

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
    ZipArchive* archive = OpenInputAsArchive(data, size, "zip-extract");
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
