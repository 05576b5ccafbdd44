// Extracts every entry of an archive into a folder through the reader's API with 1024-byte
// reads, as the mission extraction step does: zip_extract [-b BYTES | -w] ARCHIVE FOLDER, where -b
// sets the output stream's buffer size and -w takes whole entries instead (one buffer, one write
// each). Exit status 0 when every entry was written whole and verified.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "zip/ZipArchive.h"

namespace {

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};

struct ArchiveCloser {
    void operator()(ZipArchive* a) const { ZipArchiveClose(a); }
};

// Output stream buffer; empty keeps stdio's default (one write call per 4 KiB here).
std::vector<char> outBuffer;
bool wholeEntries = false;

// The whole-entry path: the raw record and the output buffer are reused from entry to entry. A
// stored entry streams in 64 KiB reads instead, as the tool does.
bool extractWhole(ZipArchive* archive, int index, FILE* out) {
    static ZipRawEntry raw;
    static std::unique_ptr<uint8_t[]> buffer;
    static size_t capacity = 0;
    ZipEntrySizes sizes{};
    if (ZipArchiveGetEntrySizes(archive, index, &sizes) == 0 && sizes.method == 0) {
        static std::vector<uint8_t> block(64 * 1024);
        if (ZipArchiveOpenEntry(archive, index) != 0) {
            return false;
        }
        int n = 0;
        bool written = true;
        while ((n = ZipArchiveReadEntry(archive, block.data(), uint32_t(block.size()))) > 0) {
            written = written && std::fwrite(block.data(), 1, size_t(n), out) == size_t(n);
        }
        return ZipArchiveCloseEntry(archive) == 0 && n == 0 && written;
    }
    if (ZipArchiveTakeEntry(archive, index, &raw) != 0) {
        return false;
    }
    if (!buffer || capacity < raw.uncompressedSize) {
        capacity = std::max<size_t>(raw.uncompressedSize, 1);
        buffer = std::make_unique_for_overwrite<uint8_t[]>(capacity);
    }
    return ZipDecodeEntry(raw, buffer.get(), capacity) == 0 &&
           std::fwrite(buffer.get(), 1, raw.uncompressedSize, out) == raw.uncompressedSize;
}

bool extractEntry(ZipArchive* archive, int index, const std::filesystem::path& folder) {
    ZipEntryInfo info{};
    if (ZipArchiveGetEntryInfo(archive, index, &info) != 0) {
        return false;
    }
    const std::string name = info.name;
    const std::filesystem::path target = folder / name;
    if (!name.empty() && name.back() == '/') {
        std::filesystem::create_directories(target);
        return true;
    }
    std::filesystem::create_directories(target.parent_path());
    std::unique_ptr<FILE, FileCloser> out(std::fopen(target.c_str(), "wb"));
    if (out && wholeEntries) {
        std::setvbuf(out.get(), nullptr, _IONBF, 0);
        const bool whole = extractWhole(archive, index, out.get());
        return std::fclose(out.release()) == 0 && whole;
    }
    if (!out || ZipArchiveOpenEntry(archive, index) != 0) {
        return false;
    }
    if (!outBuffer.empty()) {
        std::setvbuf(out.get(), outBuffer.data(), _IOFBF, outBuffer.size());
    }
    uint8_t buffer[1024];
    int n = 0;
    while ((n = ZipArchiveReadEntry(archive, buffer, sizeof buffer)) > 0) {
        if (std::fwrite(buffer, 1, size_t(n), out.get()) != size_t(n)) {
            ZipArchiveCloseEntry(archive);
            return false;
        }
        if (n != int(sizeof buffer)) {
            break;
        }
    }
    const bool verified = ZipArchiveCloseEntry(archive) == 0 && n >= 0;
    return std::fclose(out.release()) == 0 && verified;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::string(argv[1]) == "-b") {
        outBuffer.resize(size_t(std::strtoul(argv[2], nullptr, 10)));
        argv += 2;
        argc -= 2;
    } else if (argc == 4 && std::string(argv[1]) == "-w") {
        wholeEntries = true;
        ++argv;
        --argc;
    }
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s [-b BYTES | -w] ARCHIVE FOLDER\n", argv[0]);
        return 2;
    }
    std::unique_ptr<ZipArchive, ArchiveCloser> archive(ZipArchiveOpen(argv[1], 0));
    if (!archive) {
        std::fprintf(stderr, "cannot open %s\n", argv[1]);
        return 1;
    }
    const int count = ZipArchiveGetEntryCount(archive.get());
    int failed = 0;
    for (int i = 0; i < count; ++i) {
        if (!extractEntry(archive.get(), i, argv[2])) {
            ++failed;
        }
    }
    if (failed > 0 || count <= 0) {
        std::fprintf(stderr, "%d of %d entries failed\n", failed, count);
        return 1;
    }
    return 0;
}
