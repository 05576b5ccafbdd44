#include "zip/ZipFile.h"

#include <algorithm>
#include <cerrno>

#include <sys/stat.h>
#include <sys/types.h>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace zip_detail {

namespace {

// The directory is read in records of a few dozen bytes; a large stdio buffer turns them into few
// system calls (entry data is read past it). Small files get a buffer of their own size, so
// opening many small archives stays cheap.
constexpr int64_t kStdioBufferMax = 256 * 1024;
constexpr int64_t kStdioBufferMin = 4096;

int seek64(FILE* f, int64_t offset, int whence) {
#ifdef _WIN32
    return _fseeki64(f, offset, whence);
#else
    static_assert(sizeof(off_t) == 8, "zip archives need 64-bit file offsets");
    return fseeko(f, off_t(offset), whence);
#endif
}

int64_t sizeOf(FILE* f) {
#ifdef _WIN32
    struct _stat64 st;
    return _fstat64(_fileno(f), &st) == 0 ? int64_t(st.st_size) : -1;
#else
    struct stat st;
    return fstat(fileno(f), &st) == 0 ? int64_t(st.st_size) : -1;
#endif
}

int64_t tell64(FILE* f) {
#ifdef _WIN32
    return _ftelli64(f);
#else
    return int64_t(ftello(f));
#endif
}

}  // namespace

bool ZipFile::open(const char* path, const char* mode) {
    close();
    m_file.reset(std::fopen(path, mode));
    if (!m_file) {
        return false;
    }
    const size_t size = size_t(std::clamp(sizeOf(m_file.get()), kStdioBufferMin, kStdioBufferMax));
    m_buffer = std::make_unique_for_overwrite<char[]>(size);
    if (std::setvbuf(m_file.get(), m_buffer.get(), _IOFBF, size) != 0) {
        m_buffer.reset();
    }
    return true;
}

void ZipFile::close() {
    m_file.reset();
    m_buffer.reset();
}

bool ZipFile::seek(int64_t offset) {
    return m_file && offset >= 0 && seek64(m_file.get(), offset, SEEK_SET) == 0;
}

int64_t ZipFile::tell() const {
    return m_file ? tell64(m_file.get()) : -1;
}

int64_t ZipFile::takeLength() {
    if (!m_file || seek64(m_file.get(), 0, SEEK_END) != 0) {
        return -1;
    }
    const int64_t length = tell64(m_file.get());
    return seek(0) ? length : -1;
}

size_t ZipFile::read(void* buffer, size_t count) {
    if (!m_file || count == 0) {
        return 0;
    }
    return std::fread(buffer, 1, count, m_file.get());
}

size_t ZipFile::readAt(int64_t offset, void* buffer, size_t count) {
    if (!m_file || offset < 0) {
        return 0;
    }
#ifdef _WIN32
    const int64_t resume = tell();
    const size_t n = seek(offset) ? read(buffer, count) : 0;
    seek(resume);
    return n;
#else
    if (m_written) {
        if (std::fflush(m_file.get()) != 0) {
            return 0;
        }
        m_written = false;
    }
    auto* to = static_cast<char*>(buffer);
    size_t done = 0;
    while (done < count) {
        const ssize_t n = ::pread(fileno(m_file.get()), to + done, count - done, off_t(offset));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        done += size_t(n);
        offset += n;
    }
    return done;
#endif
}

bool ZipFile::write(const void* buffer, size_t count) {
    m_written = true;
    return m_file && std::fwrite(buffer, 1, count, m_file.get()) == count;
}

bool ZipFile::truncate(int64_t length) {
    if (!m_file || std::fflush(m_file.get()) != 0) {
        return false;
    }
#ifdef _WIN32
    return _chsize_s(_fileno(m_file.get()), length) == 0;
#else
    return ftruncate(fileno(m_file.get()), off_t(length)) == 0;
#endif
}

}  // namespace zip_detail
