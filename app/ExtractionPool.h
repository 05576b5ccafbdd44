// Decodes whole archive entries on worker threads, one per core, while the thread that owns the
// archive takes the next entries from it and writes finished ones out in archive order. The
// bytes in flight (raw data plus decoded output of every entry taken and not yet released) stay
// under a bound; an entry that alone would pass it, or a stored one, is not for the pool and
// streams instead.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "zip/ZipArchive.h"

namespace torv {

// ZipDecodeEntry's contract; tests put a seam here to finish entries out of order.
using EntryDecoder = std::function<int(const ZipRawEntry&, uint8_t*, uint64_t)>;

struct ExtractionTuning {
    // Enough for whole mission files of the usual size to take the fast path, small enough for
    // any machine that runs the game.
    uint64_t memoryBound = uint64_t(128) * 1024 * 1024;
    unsigned threads = 0;  // 0: one per core
    EntryDecoder decode;   // empty: ZipDecodeEntry
};

class ExtractionPool {
public:
    // wanted: the indexes to extract, in archive order. Used only by the archive's thread.
    ExtractionPool(ZipArchive* archive, std::vector<int> wanted, ExtractionTuning tuning);
    ~ExtractionPool();
    ExtractionPool(const ExtractionPool&) = delete;
    ExtractionPool& operator=(const ExtractionPool&) = delete;

    struct Decoded {
        bool whole = false;
        const uint8_t* data = nullptr;
        size_t size = 0;
    };
    // The decoded entry, waited for; valid until it is released. Nothing when the entry is not
    // for the pool (too large, or no memory for it): stream it instead. Entries are asked for in
    // the order they were wanted, and asking for one releases every one before it.
    std::optional<Decoded> wait(int index);
    // Frees the entry's memory, so that further entries can be taken ahead.
    void release(int index);

private:
    enum class State { Queued, Running, Done };
    struct Job {
        int index = -1;
        bool pooled = false;  // false: streams on the archive's thread
        State state = State::Queued;
        bool whole = false;
        uint64_t cost = 0;
        ZipRawEntry raw;
        std::unique_ptr<uint8_t[]> out;
    };

    Job* find(int index);
    void takeAhead();
    void decode(Job& job);
    void drop(Job& job);
    void work();

    ZipArchive* m_archive;
    ExtractionTuning m_tuning;
    std::vector<Job> m_jobs;   // one per wanted entry, in order
    std::vector<int> m_slots;  // entry index -> its job, -1 for none
    size_t m_nextToTake = 0;
    size_t m_dropped = 0;     // jobs before this one are freed
    uint64_t m_inFlight = 0;  // touched by the archive's thread only

    std::mutex m_mutex;
    std::condition_variable m_queued;
    std::condition_variable m_done;
    std::deque<Job*> m_queue;
    bool m_stopping = false;
    std::vector<std::thread> m_workers;
};

}  // namespace torv
