#include "app/ExtractionPool.h"

#include <algorithm>
#include <new>
#include <system_error>

namespace torv {

ExtractionPool::ExtractionPool(ZipArchive* archive, std::vector<int> wanted,
                               ExtractionTuning tuning)
    : m_archive(archive), m_tuning(std::move(tuning)) {
    if (!m_tuning.decode) {
        m_tuning.decode = ZipDecodeEntry;
    }
    m_jobs.resize(wanted.size());
    for (size_t i = 0; i < wanted.size(); ++i) {
        Job& job = m_jobs[i];
        job.index = wanted[i];
        if (job.index < 0) {
            continue;
        }
        if (size_t(job.index) >= m_slots.size()) {
            m_slots.resize(size_t(job.index) + 1, -1);
        }
        m_slots[size_t(job.index)] = int(i);
        ZipEntrySizes sizes{};
        if (ZipArchiveGetEntrySizes(archive, job.index, &sizes) != 0) {
            continue;
        }
        // A stored entry has nothing to decode: it streams in large blocks, which keeps its bytes
        // in the cache between reading, checking and writing.
        job.cost = uint64_t(sizes.compressedSize) + sizes.uncompressedSize;
        job.pooled = sizes.method != 0 && job.cost <= m_tuning.memoryBound;
    }
    const unsigned threads = m_tuning.threads != 0
                                 ? m_tuning.threads
                                 : std::max(1u, std::thread::hardware_concurrency());
    try {
        for (unsigned i = 0; i < threads; ++i) {
            m_workers.emplace_back([this] { work(); });
        }
    } catch (const std::system_error&) {
        // Fewer workers than asked for: the archive's thread decodes what they cannot.
    }
    takeAhead();
}

ExtractionPool::~ExtractionPool() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_queue.clear();
    }
    m_queued.notify_all();
    for (std::thread& worker : m_workers) {
        worker.join();
    }
}

ExtractionPool::Job* ExtractionPool::find(int index) {
    if (index < 0 || size_t(index) >= m_slots.size() || m_slots[size_t(index)] < 0) {
        return nullptr;
    }
    return &m_jobs[size_t(m_slots[size_t(index)])];
}

// Takes entries from the archive, in order, while their bytes fit beside those in flight. One
// entry is always allowed when nothing is in flight, so the pool never waits on itself.
void ExtractionPool::takeAhead() {
    while (m_nextToTake < m_jobs.size()) {
        Job& job = m_jobs[m_nextToTake];
        if (!job.pooled) {
            ++m_nextToTake;
            continue;
        }
        if (m_inFlight > 0 && m_inFlight + job.cost > m_tuning.memoryBound) {
            return;
        }
        ++m_nextToTake;
        bool taken = false;
        try {
            taken = ZipArchiveTakeEntry(m_archive, job.index, &job.raw) == 0;
            if (taken) {
                job.out = std::make_unique_for_overwrite<uint8_t[]>(
                    std::max<size_t>(1, job.raw.uncompressedSize));
            }
        } catch (const std::bad_alloc&) {
            // No room after all: the entry streams like a large one.
            job.raw = ZipRawEntry{};
            job.out.reset();
            job.pooled = false;
            continue;
        }
        std::lock_guard lock(m_mutex);
        if (!taken) {
            job.state = State::Done;  // refused at its local header: damaged, nothing to decode
            job.whole = false;
            job.cost = 0;
            continue;
        }
        m_inFlight += job.cost;
        m_queue.push_back(&job);
        m_queued.notify_one();
    }
}

void ExtractionPool::decode(Job& job) {
    const bool whole = m_tuning.decode(job.raw, job.out.get(), job.raw.uncompressedSize) == 0;
    {
        std::lock_guard lock(m_mutex);
        job.whole = whole;
        job.state = State::Done;
    }
    m_done.notify_all();
}

void ExtractionPool::work() {
    for (;;) {
        Job* job = nullptr;
        {
            std::unique_lock lock(m_mutex);
            m_queued.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
            if (m_stopping) {
                return;
            }
            job = m_queue.front();
            m_queue.pop_front();
            job->state = State::Running;
        }
        decode(*job);
    }
}

std::optional<ExtractionPool::Decoded> ExtractionPool::wait(int index) {
    Job* job = find(index);
    if (job == nullptr || !job->pooled) {
        return std::nullopt;
    }
    // Entries before this one are done with, whether they were written or skipped.
    for (; &m_jobs[m_dropped] != job; ++m_dropped) {
        drop(m_jobs[m_dropped]);
    }
    takeAhead();
    if (!job->pooled || size_t(job - m_jobs.data()) >= m_nextToTake) {
        return std::nullopt;  // there was no memory for it after all
    }
    std::unique_lock lock(m_mutex);
    if (job->state == State::Queued) {
        // Nobody has started it: rather than idle, this thread decodes it itself.
        m_queue.erase(std::find(m_queue.begin(), m_queue.end(), job));
        job->state = State::Running;
        lock.unlock();
        decode(*job);
        lock.lock();
    }
    m_done.wait(lock, [job] { return job->state == State::Done; });
    return Decoded{job->whole, job->out.get(), job->whole ? job->raw.uncompressedSize : 0};
}

void ExtractionPool::release(int index) {
    if (Job* job = find(index)) {
        drop(*job);
        takeAhead();
    }
}

// Frees a job's memory once no worker uses it; a job still queued leaves the queue.
void ExtractionPool::drop(Job& job) {
    if (!job.pooled) {
        return;
    }
    if (size_t(&job - m_jobs.data()) >= m_nextToTake) {
        job.pooled = false;  // given up before it was taken: it never will be
        return;
    }
    if (job.cost == 0) {
        return;  // refused at its local header, or freed already
    }
    {
        std::unique_lock lock(m_mutex);
        const auto queued = std::find(m_queue.begin(), m_queue.end(), &job);
        if (queued != m_queue.end()) {
            m_queue.erase(queued);
        } else {
            m_done.wait(lock, [&job] { return job.state == State::Done; });
        }
        job.state = State::Done;
        job.whole = false;
    }
    job.raw = ZipRawEntry{};
    job.out.reset();
    m_inFlight -= job.cost;
    job.cost = 0;
}

}  // namespace torv
