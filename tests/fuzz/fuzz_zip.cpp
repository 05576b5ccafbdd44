// Opens the input as an archive and reads every entry the way the extraction step does.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "fuzz_input_archive.h"

// Enough for every entry of a sane input; stops inflate bombs from eating the run's time.
constexpr size_t kInflateCapPerInput = 512u << 10;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ZipArchive* archive = OpenInputAsArchive(data, size, "zip");
    size_t inflated = 0;
    std::vector<uint8_t> out;
    const int count = ZipArchiveGetEntryCount(archive);
    for (int i = 0; i < count; ++i) {
        ZipEntryInfo info{};
        ZipEntrySpan span{};
        if (ZipArchiveGetEntryInfo(archive, i, &info) != 0 || info.name == nullptr ||
            (ZipArchiveGetEntrySpan(archive, i, &span) == 0 && span.end < span.start)) {
            std::abort();
        }
        ReadInSteps(archive, i, out, kInflateCapPerInput - std::min(inflated, kInflateCapPerInput));
        inflated += out.size();
    }
    ZipArchiveClose(archive);
    return 0;
}
