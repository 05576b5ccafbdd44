#include "app/StagedFile.h"

#include <atomic>
#include <cctype>
#include <cerrno>
#include <random>
#include <string>
#include <system_error>

#include "platform/InterruptCleanup.h"

namespace torv {

namespace {

constexpr int kNameAttempts = 16;
// Large enough that the 1024-byte copy steps do not each become a system call.
constexpr size_t kWriteBuffer = 256 * 1024;

constexpr std::string_view kPrefix = ".torv-";
constexpr std::string_view kSuffix = ".part";

std::string uniqueSuffix() {
    static std::atomic<uint64_t> counter{0};
    static const uint64_t seed = std::random_device{}();
    return std::to_string(seed) + "-" + std::to_string(counter++);
}

bool allDigits(std::string_view text) {
    if (text.empty()) {
        return false;
    }
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c))) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool IsStagedFileName(std::string_view name) {
    if (name.size() <= kPrefix.size() + kSuffix.size() || !name.starts_with(kPrefix) ||
        !name.ends_with(kSuffix)) {
        return false;
    }
    const std::string_view middle =
        name.substr(kPrefix.size(), name.size() - kPrefix.size() - kSuffix.size());
    const size_t dash = middle.find('-');
    return dash != std::string_view::npos && allDigits(middle.substr(0, dash)) &&
           allDigits(middle.substr(dash + 1));
}

int SweepStagedFiles(const std::filesystem::path& folder) {
    int error = 0;
    const platform::FolderHandle handle = platform::FolderHandle::open(folder.string(), error);
    return handle.removeUnlockedFiles(
        [](const std::string& name) { return IsStagedFileName(name); });
}

StagedFile::StagedFile(const std::filesystem::path& target) : m_name(target.filename().string()) {
    int error = 0;
    const std::filesystem::path parent = target.parent_path();
    m_ownFolder = platform::FolderHandle::open(parent.empty() ? "." : parent.string(), error);
    m_folder = &m_ownFolder;
    if (!m_ownFolder.isOpen()) {
        fail(error);
        return;
    }
    create();
}

StagedFile::StagedFile(const platform::FolderHandle& folder, std::string name)
    : m_folder(&folder), m_name(std::move(name)) {
    create();
}

void StagedFile::create() {
    int error = 0;
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        std::string temp = std::string(kPrefix) + uniqueSuffix() + std::string(kSuffix);
        m_file = m_folder->createLocked(temp, error);
        if (m_file == nullptr) {
            if (error == EEXIST) {
                continue;
            }
            break;
        }
        m_temp = std::move(temp);
        m_interruptGuard =
            std::make_unique<platform::RemoveOnInterrupt>(m_folder->descriptor(), m_temp);
        std::setvbuf(m_file, nullptr, _IOFBF, kWriteBuffer);
        return;
    }
    fail(error);
}

StagedFile::~StagedFile() {
    discard();
}

void StagedFile::fail(int error) {
    m_failed = true;
    if (m_error.empty()) {
        m_error = std::generic_category().message(error);
    }
}

void StagedFile::write(const uint8_t* data, size_t size) {
    if (m_file == nullptr || m_failed || size == 0) {
        return;
    }
    if (std::fwrite(data, 1, size, m_file) != size) {
        fail(errno);
    }
}

bool StagedFile::commit() {
    if (m_file == nullptr || m_failed) {
        discard();
        return false;
    }
    if (std::fflush(m_file) != 0) {
        fail(errno);
        discard();
        return false;
    }
    // Renamed while still open and locked, so no sweep can take it for a dead run's first.
    int error = 0;
    if (!m_folder->rename(m_temp, m_name, error)) {
        fail(error);
        discard();
        return false;
    }
    m_interruptGuard.reset();
    m_temp.clear();
    std::fclose(m_file);
    m_file = nullptr;
    return true;
}

void StagedFile::discard() {
    if (m_file != nullptr) {
        std::fclose(m_file);
        m_file = nullptr;
    }
    if (!m_temp.empty()) {
        m_folder->remove(m_temp);
        m_temp.clear();
    }
    m_interruptGuard.reset();
}

}  // namespace torv
