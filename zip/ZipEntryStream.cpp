#include "zip/ZipEntryStream.h"

#include <libdeflate.h>

#include <algorithm>
#include <cstring>

namespace zip_detail {

namespace {

constexpr uint32_t kIoBufferSize = 1024;
constexpr uint16_t kMethodDeflated = 8;
constexpr size_t kInflateWindowSize = 32 * 1024;
// Small enough to stay in the cache between the read and the copy out of it.
constexpr size_t kInputBufferSize = 64 * 1024;
constexpr size_t kDirectReadMin = kInputBufferSize;

}  // namespace

bool ZipEntryInput::readExact(uint8_t* to, size_t count) {
    if (m_file != nullptr) {
        return readFile(to, count);
    }
    if (count > m_size) {
        return false;
    }
    std::memcpy(to, m_data, count);
    m_data += count;
    m_size -= count;
    return true;
}

bool ZipEntryInput::readFile(uint8_t* to, size_t count) {
    const size_t buffered = std::min(count, m_bufferEnd - m_bufferStart);
    if (buffered > 0) {
        std::memcpy(to, m_buffer.data() + m_bufferStart, buffered);
        m_bufferStart += buffered;
        to += buffered;
        count -= buffered;
    }
    if (count == 0) {
        return true;
    }
    if (count >= kDirectReadMin) {
        // Copied once, into the caller's memory, while it is still in the cache.
        const bool read = m_file->readExactAt(m_offset, to, count);
        m_offset += int64_t(count);
        return read;
    }
    m_buffer.resize(kInputBufferSize);
    const size_t got = m_file->readAt(m_offset, m_buffer.data(), m_buffer.size());
    m_offset += int64_t(got);
    m_bufferStart = std::min(count, got);
    m_bufferEnd = got;
    std::memcpy(to, m_buffer.data(), m_bufferStart);
    return got >= count;
}

bool ZipEntryStream::start(const ZipEntry& entry, ZipEntryInput input) {
    m_inflater.end();
    m_input = input;
    m_deflated = entry.method == kMethodDeflated;
    if (m_deflated) {
        if (!m_inflater.start()) {
            return false;
        }
        m_ioBuffer.resize(kIoBufferSize);
        m_window.resize(kInflateWindowSize);
    }
    m_windowStart = m_windowEnd = 0;
    m_inflateState = InflateState::Running;
    m_expectedCrc = entry.crc;
    m_remainingCompressed = entry.compressedSize;
    m_remainingUncompressed = entry.uncompressedSize;
    m_crc = 0;
    return true;
}

int ZipEntryStream::read(uint8_t* buffer, uint32_t length) {
    const uint32_t space = std::min(length, m_remainingUncompressed);
    return m_deflated ? readDeflated(buffer, space) : readStored(buffer, space);
}

int ZipEntryStream::readStored(uint8_t* buffer, uint32_t space) {
    // Stored bytes go straight to the caller: copying them through the I/O buffer first would
    // deliver the same bytes more slowly.
    const uint32_t count = std::min(space, m_remainingCompressed);
    if (count == 0) {
        // Nothing left in the file for this entry: the close reports the shortfall.
        return 0;
    }
    if (!m_input.readExact(buffer, count)) {
        return -1;
    }
    m_crc = uint32_t(libdeflate_crc32(m_crc, buffer, count));
    m_remainingCompressed -= count;
    m_remainingUncompressed -= count;
    return int(count);
}

// Takes the next chunk of compressed data into the I/O buffer when the inflater has used up
// the last one; false on a short read.
bool ZipEntryStream::feedInflater() {
    z_stream& stream = m_inflater.stream();
    if (stream.avail_in != 0 || m_remainingCompressed == 0) {
        return true;
    }
    const uint32_t count = std::min(m_remainingCompressed, kIoBufferSize);
    if (!m_input.readExact(m_ioBuffer.data(), count)) {
        return false;
    }
    m_remainingCompressed -= count;
    stream.next_in = m_ioBuffer.data();
    stream.avail_in = count;
    return true;
}

// Inflates ahead into the window, never past the entry's declared size: zlib decodes fastest
// with room for whole runs of output, which a 1024-byte call seldom leaves it.
void ZipEntryStream::refillWindow() {
    z_stream& stream = m_inflater.stream();
    m_windowStart = m_windowEnd = 0;
    const uint32_t limit = std::min(uint32_t(m_window.size()), m_remainingUncompressed);
    while (m_windowEnd < limit) {
        if (!feedInflater()) {
            m_inflateState = InflateState::Failed;
            return;
        }
        stream.next_out = m_window.data() + m_windowEnd;
        stream.avail_out = limit - m_windowEnd;
        const int result = inflate(&stream, Z_SYNC_FLUSH);
        m_windowEnd = limit - stream.avail_out;
        if (result == Z_STREAM_END) {
            m_inflateState = InflateState::Ended;
            return;
        }
        if (result != Z_OK) {
            m_inflateState = InflateState::Failed;
            return;
        }
    }
}

// With the whole entry delivered, the inflater may still have to consume the tail of the stream
// (its end-of-block code) without producing output; output beyond the size is an error.
int ZipEntryStream::drainInflater() {
    if (m_inflateState == InflateState::Ended) {
        return 0;
    }
    if (m_inflateState == InflateState::Failed) {
        return -1;
    }
    z_stream& stream = m_inflater.stream();
    while (m_remainingCompressed > 0) {
        if (!feedInflater()) {
            m_inflateState = InflateState::Failed;
            return -1;
        }
        stream.next_out = m_window.data();
        stream.avail_out = 0;
        const int result = inflate(&stream, Z_SYNC_FLUSH);
        if (result == Z_STREAM_END) {
            m_inflateState = InflateState::Ended;
            return 0;
        }
        if (result != Z_OK) {
            m_inflateState = InflateState::Failed;
            return -1;
        }
    }
    return 0;
}

// Delivers inflated bytes in stream order. A call that reaches the end of the stream returns
// what it delivered; a call that reaches damage returns -1.
int ZipEntryStream::readDeflated(uint8_t* buffer, uint32_t space) {
    if (space == 0) {
        return m_remainingCompressed > 0 ? drainInflater() : 0;
    }
    uint32_t delivered = 0;
    while (space > 0) {
        if (m_windowStart == m_windowEnd) {
            if (m_inflateState == InflateState::Ended) {
                break;
            }
            if (m_inflateState == InflateState::Failed) {
                return -1;
            }
            refillWindow();
            continue;
        }
        const uint32_t count = std::min(space, m_windowEnd - m_windowStart);
        const uint8_t* from = m_window.data() + m_windowStart;
        std::memcpy(buffer + delivered, from, count);
        m_crc = uint32_t(libdeflate_crc32(m_crc, from, count));
        m_windowStart += count;
        m_remainingUncompressed -= count;
        delivered += count;
        space -= count;
    }
    return int(delivered);
}

}  // namespace zip_detail
