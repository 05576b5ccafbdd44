#include "app/StagedFile.h"

#include <atomic>
#include <cerrno>
#include <random>
#include <string>
#include <system_error>

namespace torv {

namespace {

constexpr int kNameAttempts = 16;
// Large enough that the 1024-byte copy steps do not each become a system call.
constexpr size_t kWriteBuffer = 256 * 1024;

std::string uniqueSuffix() {
    static std::atomic<uint64_t> counter{0};
    static const uint64_t seed = std::random_device{}();
    return std::to_string(seed) + "-" + std::to_string(counter++);
}

}  // namespace

StagedFile::StagedFile(std::filesystem::path target) : m_target(std::move(target)) {
    for (int attempt = 0; attempt < kNameAttempts && m_file == nullptr; ++attempt) {
        m_temp = m_target.parent_path() / (".torv-" + uniqueSuffix() + ".part");
        // "x": created anew or not at all, so nothing that already exists there, a link
        // included, is ever opened.
        m_file = std::fopen(m_temp.c_str(), "wbx");
        if (m_file == nullptr && errno != EEXIST) {
            break;
        }
    }
    if (m_file != nullptr) {
        std::setvbuf(m_file, nullptr, _IOFBF, kWriteBuffer);
    }
}

StagedFile::~StagedFile() {
    discard();
}

void StagedFile::write(const uint8_t* data, size_t size) {
    if (m_file == nullptr || m_failed || size == 0) {
        return;
    }
    if (std::fwrite(data, 1, size, m_file) != size) {
        m_failed = true;
        m_error = std::generic_category().message(errno);
    }
}

bool StagedFile::commit() {
    if (m_file == nullptr) {
        return false;
    }
    const bool closed = std::fclose(m_file) == 0;
    if (!closed && m_error.empty()) {
        m_error = std::generic_category().message(errno);
    }
    m_file = nullptr;
    if (m_failed || !closed) {
        discard();
        return false;
    }
    std::error_code error;
    std::filesystem::rename(m_temp, m_target, error);
    if (error) {
        m_error = error.message();
        discard();
        return false;
    }
    m_temp.clear();
    return true;
}

void StagedFile::discard() {
    if (m_file != nullptr) {
        std::fclose(m_file);
        m_file = nullptr;
    }
    if (!m_temp.empty()) {
        std::error_code ignored;
        std::filesystem::remove(m_temp, ignored);
        m_temp.clear();
    }
}

}  // namespace torv
