// A file on its way to its place (an extracted entry, a downloaded archive): written to a fresh
// temporary file beside its target and moved over the target only on commit, so a failed write
// never touches an older file and never follows a link planted at the target. The temporary
// file is locked while it is open and removed if the process is interrupted; one left behind by
// a killed run is swept by the next (SweepStagedFiles). Nothing is synced to disk: these files
// are replaced or deleted within moments.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "platform/FolderHandle.h"

namespace torv {

namespace platform {
class RemoveOnInterrupt;
}

class StagedFile {
public:
    // The target's folder is opened as its path says.
    explicit StagedFile(const std::filesystem::path& target);
    // name inside folder, which must outlive this object.
    StagedFile(const platform::FolderHandle& folder, std::string name);
    ~StagedFile();
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;

    // False when no temporary file could be created (missing folder, no room, no permission).
    bool isOpen() const { return m_file != nullptr; }
    // True once the creation or a write failed; the rest is not written and commit will fail.
    bool failed() const { return m_failed; }
    void write(const uint8_t* data, size_t size);
    // Moves the finished file over the target (a link there is replaced, not followed); false
    // when any write, the flush or the rename failed.
    bool commit();
    // Why the last failure happened (the system's text), empty while nothing failed.
    const std::string& errorText() const { return m_error; }

private:
    void create();
    void fail(int error);
    void discard();

    platform::FolderHandle m_ownFolder;
    const platform::FolderHandle* m_folder = nullptr;
    std::string m_name;
    std::string m_temp;
    std::FILE* m_file = nullptr;
    std::unique_ptr<platform::RemoveOnInterrupt> m_interruptGuard;
    bool m_failed = false;
    std::string m_error;
};

// True for the names StagedFile gives its temporary files.
bool IsStagedFileName(std::string_view name);

// Removes the temporary files that dead runs left in folder and its subfolders; a file that a
// live process is still writing is left alone. Returns how many were removed.
int SweepStagedFiles(const std::filesystem::path& folder);

}  // namespace torv
