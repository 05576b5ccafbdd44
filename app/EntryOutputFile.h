// One extracted file on its way to the missions folder: written to a fresh temporary file beside
// its target and moved over the target only on commit, so a failed entry never touches an older
// file and never follows a link planted at the target.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>

namespace torv {

class EntryOutputFile {
public:
    explicit EntryOutputFile(std::filesystem::path target);
    ~EntryOutputFile();
    EntryOutputFile(const EntryOutputFile&) = delete;
    EntryOutputFile& operator=(const EntryOutputFile&) = delete;

    // False when no temporary file could be created (missing folder, no permission).
    bool isOpen() const { return m_file != nullptr; }
    void write(const uint8_t* data, size_t size);
    // Closes the temporary file and renames it over the target (a link there is replaced, not
    // followed); false when any write, the close or the rename failed.
    bool commit();

private:
    void discard();

    std::filesystem::path m_target;
    std::filesystem::path m_temp;
    std::FILE* m_file = nullptr;
    bool m_failed = false;
};

}  // namespace torv
