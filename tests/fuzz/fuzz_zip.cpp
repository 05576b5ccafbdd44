// Opens the input from a file as the tool opens a download, asks the directory about every entry,
// and extracts each twice, through the 1024-byte reads and through the whole-entry path: both must
// deliver the same bytes, or both must refuse the entry.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "zip/ZipArchive.h"

namespace {

// Entries declared larger are streamed only this far, so inflate bombs cannot eat the run's time.
constexpr size_t kMaxEntrySize = 1u << 20;

// Reads 1024-byte steps until one returns less or more than limit bytes came; true when the entry
// opened, every read succeeded and the close found it whole.
bool readInSteps(ZipArchive* archive, int index, std::vector<uint8_t>& out, size_t limit) {
    out.clear();
    if (ZipArchiveOpenEntry(archive, index) != 0) {
        return false;
    }
    uint8_t buffer[1024];
    int n = 0;
    do {
        n = ZipArchiveReadEntry(archive, buffer, sizeof buffer);
        check(n >= -1 && n <= int(sizeof buffer));
        out.insert(out.end(), buffer, buffer + std::max(n, 0));
    } while (n == int(sizeof buffer) && out.size() <= limit);
    return ZipArchiveCloseEntry(archive) == 0 && n >= 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path =
        (access("/dev/shm", W_OK) == 0 ? "/dev/shm" : std::filesystem::temp_directory_path()) /
        ("torv-fuzz-" + std::to_string(getpid()) + ".zip");
    FILE* f = std::fopen(path.c_str(), "wb");
    check(f != nullptr && std::fwrite(data, 1, size, f) == size && std::fclose(f) == 0);
    // The name goes as soon as the archive is open, so a crash leaves nothing behind.
    ZipArchive* archive = ZipArchiveOpen(path.c_str(), 0);
    std::remove(path.c_str());
    check(archive != nullptr);
    std::vector<uint8_t> streamed;
    for (int i = 0; i < ZipArchiveGetEntryCount(archive); ++i) {
        ZipEntryInfo info{};
        ZipEntrySpan span{};
        ZipEntrySizes sizes{};
        check(ZipArchiveGetEntryInfo(archive, i, &info) == 0 && info.name != nullptr &&
              ZipArchiveGetEntrySizes(archive, i, &sizes) == 0 &&
              (ZipArchiveGetEntrySpan(archive, i, &span) != 0 || span.end >= span.start));
        if (sizes.uncompressedSize > kMaxEntrySize) {
            readInSteps(archive, i, streamed, kMaxEntrySize / 4);
            continue;
        }
        // One byte of slack past the size: the whole-entry path must never write there.
        std::vector<uint8_t> whole(size_t(sizes.uncompressedSize) + 1, 0xA5);
        const bool wholeOk = ZipArchiveExtractEntry(archive, i, whole.data(), whole.size()) == 0;
        check(readInSteps(archive, i, streamed, kMaxEntrySize) == wholeOk && whole.back() == 0xA5);
        check(!wholeOk || (streamed.size() == sizes.uncompressedSize &&
                           std::equal(streamed.begin(), streamed.end(), whole.begin())));
    }
    ZipArchiveClose(archive);
    return 0;
}
