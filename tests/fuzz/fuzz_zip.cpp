// Opens the input as an archive and reads every entry the way the extraction step does.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

#include "fuzz_input_archive.h"
#include "zip/ZipArchive.h"

namespace {

// Enough for every entry of a sane input; stops inflate bombs from eating the run's time.
constexpr uint64_t kInflateCapPerInput = 512u << 10;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ZipArchive* archive = OpenInputAsArchive(data, size, "zip");
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
