// A file on its way to its place (an extracted entry, a downloaded archive): written to a fresh
// temporary file beside its target and moved over the target only on commit, so a failed write
// never touches an older file and never follows a link planted at the target. Nothing is synced
// to disk: these files are replaced or deleted within moments.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

namespace torv {

class StagedFile {
public:
    explicit StagedFile(std::filesystem::path target);
    ~StagedFile();
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;

    // False when no temporary file could be created (missing folder, no permission).
    bool isOpen() const { return m_file != nullptr; }
    // True once a write failed; the rest is not written and commit will fail.
    bool failed() const { return m_failed; }
    void write(const uint8_t* data, size_t size);
    // Closes the temporary file and renames it over the target (a link there is replaced, not
    // followed); false when any write, the close or the rename failed.
    bool commit();
    // Why the last failure happened (the system's text), empty while nothing failed.
    const std::string& errorText() const { return m_error; }

private:
    void discard();

    std::filesystem::path m_target;
    std::filesystem::path m_temp;
    std::FILE* m_file = nullptr;
    bool m_failed = false;
    std::string m_error;
};

}  // namespace torv
