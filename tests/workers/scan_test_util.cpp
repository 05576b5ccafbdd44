#include "workers/scan_test_util.h"

#include <algorithm>
#include <cerrno>

#include <sys/types.h>

namespace torv::test {

namespace {

struct FailingSource {
    std::string bytes;
    std::size_t failAt = 0;
    std::size_t pos = 0;
};

ssize_t ReadFailing(void* cookie, char* buffer, std::size_t size) {
    auto* source = static_cast<FailingSource*>(cookie);
    if (source->pos >= source->failAt && source->pos < source->bytes.size()) {
        errno = EIO;
        return -1;
    }
    const std::size_t limit = std::min(source->failAt, source->bytes.size());
    const std::size_t count = std::min(size, limit > source->pos ? limit - source->pos : 0);
    std::copy_n(source->bytes.data() + source->pos, count, buffer);
    source->pos += count;
    return ssize_t(count);
}

int SeekFailing(void* cookie, off64_t* offset, int whence) {
    auto* source = static_cast<FailingSource*>(cookie);
    const off64_t base = whence == SEEK_SET   ? 0
                         : whence == SEEK_CUR ? off64_t(source->pos)
                                              : off64_t(source->bytes.size());
    if (base + *offset < 0) {
        errno = EINVAL;
        return -1;
    }
    source->pos = std::size_t(base + *offset);
    *offset = off64_t(source->pos);
    return 0;
}

int CloseFailing(void* cookie) {
    delete static_cast<FailingSource*>(cookie);
    return 0;
}

}  // namespace

FilePtr OpenForScan(const std::string& path) {
    return FilePtr(std::fopen(path.c_str(), "rb"));
}

FilePtr OpenFailingStream(const std::string& bytes, std::size_t failAt) {
    auto source = std::make_unique<FailingSource>();
    source->bytes = bytes;
    source->failAt = failAt;
    const cookie_io_functions_t functions{ReadFailing, nullptr, SeekFailing, CloseFailing};
    FilePtr file(fopencookie(source.get(), "rb", functions));
    if (file) {
        source.release();  // the stream owns it now and frees it on close
    }
    return file;
}

ScanRun ScanToEnd(const Scanner& scanner, std::FILE* file, qint64 length, int maxCalls) {
    ScanRun run;
    for (int call = 0; call < maxCalls; ++call) {
        std::vector<int> positions;
        QString url;
        const bool found = scanner(file, length, url,
                                   [&positions](int position) { positions.push_back(position); });
        run.progress.push_back(std::move(positions));
        if (!found) {
            run.finished = true;
            break;
        }
        run.urls.push_back(url);
        run.offsets.push_back(std::ftell(file));
    }
    return run;
}

}  // namespace torv::test
