// The streaming read of one entry's data (stored or raw deflate), with the running size and
// CRC-32 check. The same machine serves ZipArchiveReadEntry over the archive's stream and the
// whole-entry extraction over a block already in memory, so both judge damage alike.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "zip/ZipFile.h"
#include "zip/ZipInflater.h"
#include "zip/ZipRecords.h"

namespace zip_detail {

// Where the entry's data comes from: the archive's file from an offset on, or memory.
class ZipEntryInput {
public:
    ZipEntryInput() = default;
    ZipEntryInput(ZipFile* file, int64_t offset) : m_file(file), m_offset(offset) {}
    ZipEntryInput(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}

    // True only when all count bytes arrived.
    bool readExact(uint8_t* to, size_t count);

private:
    bool readFile(uint8_t* to, size_t count);

    ZipFile* m_file = nullptr;
    int64_t m_offset = 0;  // of the first byte of the file not yet in the buffer
    // Small reads come from here; large ones go straight to the caller.
    std::vector<uint8_t> m_buffer;
    size_t m_bufferStart = 0;
    size_t m_bufferEnd = 0;
    const uint8_t* m_data = nullptr;
    size_t m_size = 0;
};

class ZipEntryStream {
public:
    // Method 0 or 8 (checked by the caller); false when the inflater cannot start.
    bool start(const ZipEntry& entry, ZipEntryInput input);
    void end() { m_inflater.end(); }
    // ZipArchiveReadEntry's contract: up to length bytes, fewer only at the end, -1 on damage.
    int read(uint8_t* buffer, uint32_t length);
    // Every declared byte was delivered and the CRC-32 matches the directory's.
    bool whole() const { return m_remainingUncompressed == 0 && m_crc == m_expectedCrc; }

private:
    enum class InflateState { Running, Ended, Failed };

    int readStored(uint8_t* buffer, uint32_t space);
    bool feedInflater();
    void refillWindow();
    int drainInflater();
    int readDeflated(uint8_t* buffer, uint32_t space);

    ZipEntryInput m_input;
    ZipInflater m_inflater;
    bool m_deflated = false;
    uint32_t m_expectedCrc = 0;
    uint32_t m_remainingUncompressed = 0;
    uint32_t m_remainingCompressed = 0;
    uint32_t m_crc = 0;
    std::vector<uint8_t> m_ioBuffer;
    // Inflated bytes not yet delivered: m_window[m_windowStart, m_windowEnd).
    std::vector<uint8_t> m_window;
    uint32_t m_windowStart = 0;
    uint32_t m_windowEnd = 0;
    InflateState m_inflateState = InflateState::Running;
};

}  // namespace zip_detail
