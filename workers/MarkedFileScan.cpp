#include "workers/MarkedFileScan.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

#include "workers/SiteUrl.h"

namespace torv::detail {

namespace {

constexpr char kMarker[3] = {'U', 'R', 'L'};
constexpr std::size_t kLineChars = 1023;  // what fgets with a count of 1024 takes
constexpr qint64 kLineWeight = 1024;      // what one line read adds to the position

// Reads the stream in large blocks and counts how far the scan has consumed it, so that the
// stream can be put back exactly behind the line of a found URL.
class BlockReader {
public:
    enum class Fill { Data, End, Error };

    BlockReader(std::FILE* file, std::size_t blockSize)
        : m_file(file), m_buffer(std::max<std::size_t>(blockSize, 1)) {}

    const char* data() const { return m_buffer.data() + m_pos; }
    std::size_t available() const { return m_end - m_pos; }
    qint64 consumed() const { return m_consumed; }

    void consume(std::size_t count) {
        m_pos += count;
        m_consumed += qint64(count);
    }

    // Call only when nothing is available.
    Fill fill() {
        if (m_failed) {
            return Fill::Error;
        }
        if (m_ended) {
            return Fill::End;
        }
        const std::size_t got = std::fread(m_buffer.data(), 1, m_buffer.size(), m_file);
        m_pos = 0;
        m_end = got;
        if (got < m_buffer.size()) {
            // Bytes that came before an error are still scanned; the error ends the scan after.
            (std::ferror(m_file) ? m_failed : m_ended) = true;
        }
        if (got > 0) {
            return Fill::Data;
        }
        return m_failed ? Fill::Error : Fill::End;
    }

private:
    std::FILE* m_file;
    std::vector<char> m_buffer;
    std::size_t m_pos = 0;
    std::size_t m_end = 0;
    qint64 m_consumed = 0;
    bool m_ended = false;
    bool m_failed = false;
};

// The coarse position: reported at each multiple of the step that single bytes reach.
class ScanPosition {
public:
    ScanPosition(qint64 start, qint64 step, const ScanProgress& report)
        : m_position(start), m_step(step), m_report(report) {
        aim();
    }

    void bytes(qint64 count) {
        m_position += count;
        while (m_next <= m_position) {
            if (m_report) {
                m_report(int(std::min<qint64>(m_next, INT_MAX)));
            }
            m_next += m_step;
        }
    }

    // A line counts all at once; multiples it jumps over go unreported.
    void line() {
        m_position += kLineWeight;
        aim();
    }

private:
    void aim() { m_next = (m_position / m_step + 1) * m_step; }

    qint64 m_position;
    qint64 m_next = 0;
    const qint64 m_step;
    const ScanProgress& m_report;
};

enum class LineEnd { Newline, Full, FileEnd, Error };

// fgets(1024) over the blocks: up to and including the next line feed, at most 1023 bytes.
LineEnd ReadLine(BlockReader& reader, QByteArray& line) {
    while (std::size_t(line.size()) < kLineChars) {
        if (reader.available() == 0) {
            const BlockReader::Fill fill = reader.fill();
            if (fill == BlockReader::Fill::End) {
                return LineEnd::FileEnd;
            }
            if (fill == BlockReader::Fill::Error) {
                return LineEnd::Error;
            }
        }
        const char* from = reader.data();
        const std::size_t room =
            std::min(reader.available(), kLineChars - std::size_t(line.size()));
        const auto* feed = static_cast<const char*>(std::memchr(from, '\n', room));
        const std::size_t take = feed != nullptr ? std::size_t(feed - from) + 1 : room;
        line.append(from, qsizetype(take));
        reader.consume(take);
        if (feed != nullptr) {
            return LineEnd::Newline;
        }
    }
    return LineEnd::Full;
}

}  // namespace

bool ScanMarkedBlocks(std::FILE* file, qint64 length, QString& url, const ScanProgress& progress,
                      std::size_t blockSize) {
    // A stream in error would fail every read again without ever reaching its end.
    if (file == nullptr || std::feof(file) || std::ferror(file)) {
        return false;
    }
    const long start = std::ftell(file);
    if (start < 0) {
        return false;
    }
    // Files shorter than 300 bytes report every byte rather than never.
    ScanPosition position(start, std::max<qint64>(length / 300, 1), progress);
    // Small files need no large buffer; a wrong length costs only more reads, never a result.
    const qint64 expected = std::max<qint64>(length - start, 0) + 1;
    BlockReader reader(
        file, std::size_t(std::min<qint64>(qint64(blockSize), std::max<qint64>(expected, 4096))));
    int matched = 0;
    for (;;) {
        if (reader.available() == 0) {
            const BlockReader::Fill fill = reader.fill();
            if (fill == BlockReader::Fill::Error) {
                return false;
            }
            if (fill == BlockReader::Fill::End) {
                position.bytes(1);  // the read that meets the end counts like a byte
                return false;
            }
        }
        if (matched == 0) {
            const char* from = reader.data();
            const auto* first =
                static_cast<const char*>(std::memchr(from, 'U', reader.available()));
            const std::size_t take =
                first != nullptr ? std::size_t(first - from) + 1 : reader.available();
            reader.consume(take);
            position.bytes(qint64(take));
            matched = first != nullptr ? 1 : 0;
            continue;
        }
        const char byte = *reader.data();
        reader.consume(1);
        // A byte that breaks a partial marker is not tried as the start of a new one.
        if (byte != kMarker[matched]) {
            matched = 0;
            position.bytes(1);
            continue;
        }
        if (++matched < 3) {
            position.bytes(1);
            continue;
        }
        matched = 0;
        QByteArray line;
        const LineEnd end = ReadLine(reader, line);
        if (end == LineEnd::Error) {
            return false;
        }
        if (line.isEmpty()) {  // the marker ends the file
            position.bytes(1);
            return false;
        }
        position.line();
        if (ExtractSiteUrl(line, url)) {
            // Back to just behind the line, as if nothing had been read ahead: an end or an error
            // met ahead belongs to the next call. A line cut short by the end of the file leaves
            // the stream at its end with the end-of-file indicator set, as reading it would.
            if (end != LineEnd::FileEnd) {
                std::fseek(file, start + long(reader.consumed()), SEEK_SET);
                std::clearerr(file);
            }
            return true;
        }
        position.bytes(1);
        if (end == LineEnd::FileEnd) {
            return false;
        }
    }
}

}  // namespace torv::detail
