// An owned stdio stream with 64-bit positions and a large buffer behind it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

namespace zip_detail {

class ZipFile {
public:
    ZipFile() = default;
    ZipFile(const ZipFile&) = delete;
    ZipFile& operator=(const ZipFile&) = delete;

    // mode is an fopen mode ("rb", "rb+", "wb+"); false when the file cannot be opened.
    bool open(const char* path, const char* mode);
    bool isOpen() const { return m_file != nullptr; }
    void close();

    bool seek(int64_t offset);
    int64_t tell() const;
    // Length of the file; leaves the position at 0. -1 when it cannot be taken.
    int64_t takeLength();

    size_t read(void* buffer, size_t count);
    // True only when all count bytes arrived.
    bool readExact(void* buffer, size_t count) { return read(buffer, count) == count; }
    // Up to count bytes from offset, fewer only at the end of the file or on an error: past the
    // stream's buffer and without moving its position, so a whole entry costs one read of just
    // its bytes.
    size_t readAt(int64_t offset, void* buffer, size_t count);
    // True only when all count bytes arrived.
    bool readExactAt(int64_t offset, void* buffer, size_t count) {
        return readAt(offset, buffer, count) == count;
    }
    bool write(const void* buffer, size_t count);
    bool truncate(int64_t length);

private:
    struct Closer {
        void operator()(FILE* f) const { std::fclose(f); }
    };
    // Declared before the stream so that it outlives it: stdio uses it until fclose.
    std::unique_ptr<char[]> m_buffer;
    std::unique_ptr<FILE, Closer> m_file;
    bool m_written = false;  // writes may wait in the stream's buffer
};

}  // namespace zip_detail
