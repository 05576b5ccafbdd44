// Scans a large marked file the way a drop on the site list does, the progress callback pumping
// the event loop, and prints what it found and how fast. "make" writes such a file first.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "workers/FileScanners.h"

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Archive-like bytes: random, with a site URL behind a marker about once a megabyte.
int MakeFile(const char* path, long megabytes) {
    FilePtr file(std::fopen(path, "wb"));
    if (!file) {
        std::perror(path);
        return 1;
    }
    std::vector<char> block(std::size_t(1) << 20);
    std::uint64_t state = 0x9e3779b97f4a7c15ull;
    for (long mb = 0; mb < megabytes; ++mb) {
        for (std::size_t i = 0; i < block.size(); i += 8) {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            std::memcpy(block.data() + i, &state, 8);
        }
        const std::string planted =
            "URL http://site" + std::to_string(mb % 50) + ".example/missions/pack.zip\n";
        std::memcpy(block.data() + (mb * 7919) % (block.size() - planted.size()), planted.data(),
                    planted.size());
        if (std::fwrite(block.data(), 1, block.size(), file.get()) != block.size()) {
            std::perror(path);
            return 1;
        }
    }
    return 0;
}

int Scan(const char* path) {
    FilePtr file(std::fopen(path, "rb"));
    if (!file) {
        std::perror(path);
        return 1;
    }
    std::fseek(file.get(), 0, SEEK_END);
    const qint64 length = std::ftell(file.get());
    std::rewind(file.get());

    long reports = 0;
    int lastPosition = 0;
    const torv::ScanProgress progress = [&](int position) {
        ++reports;
        lastPosition = position;
        QCoreApplication::processEvents();
    };
    QElapsedTimer timer;
    timer.start();
    long urls = 0;
    QString url;
    while (torv::ScanMarkedFile(file.get(), length, url, progress)) {
        ++urls;
        QCoreApplication::processEvents();  // the list pumps after each URL it merges
    }
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    std::printf("scanned %lld bytes: %ld URLs, %ld progress reports (last %d), %.3f s, %.2f GB/s\n",
                static_cast<long long>(length), urls, reports, lastPosition, seconds,
                double(length) / seconds / 1e9);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "make") == 0) {
        return MakeFile(argv[2], std::strtol(argv[3], nullptr, 10));
    }
    if (argc == 3 && std::strcmp(argv[1], "scan") == 0) {
        QCoreApplication app(argc, argv);
        return Scan(argv[2]);
    }
    std::fprintf(stderr, "usage: %s make FILE MEGABYTES | scan FILE\n", argv[0]);
    return 2;
}
