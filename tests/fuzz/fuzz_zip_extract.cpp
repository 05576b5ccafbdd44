// Extracts every entry of the input twice, through the 1024-byte reads and through the
// whole-entry path: both must deliver the same bytes, or both must refuse the entry.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "fuzz_input_archive.h"

// Larger declared sizes are skipped, so inflate bombs cannot eat the run's time.
constexpr uint32_t kMaxEntrySize = 1u << 20;

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
        const bool streamedOk = ReadInSteps(archive, i, streamed, kMaxEntrySize);
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
