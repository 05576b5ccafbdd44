// An open folder in which files are created, replaced and removed by name. Working through the
// folder's handle instead of through paths means that a link swapped in for a folder after it
// was opened leads nowhere else.
#pragma once

#include <cstdio>
#include <functional>
#include <string>

namespace torv::platform {

class FolderHandle {
public:
    // What a name in the folder is, the name itself looked at (a link is not followed).
    enum class Kind { Missing, File, ReadOnlyFile, Folder, Link, Other };

    FolderHandle() = default;
    ~FolderHandle();
    FolderHandle(FolderHandle&& other) noexcept;
    FolderHandle& operator=(FolderHandle&& other) noexcept;
    FolderHandle(const FolderHandle&) = delete;
    FolderHandle& operator=(const FolderHandle&) = delete;

    // The folder at path, links on the way followed (the user chose that path). error is the
    // system's error number when it cannot be opened.
    static FolderHandle open(const std::string& path, int& error);

    bool isOpen() const { return m_fd >= 0; }
    // The system's handle, for the interrupt cleanup; valid while this object lives.
    int descriptor() const { return m_fd; }

    // A folder inside this one, never reached through a symbolic link: ELOOP when name is a
    // link, ENOTDIR when it is something else than a folder, ENOENT when it is missing.
    FolderHandle child(const std::string& name, int& error) const;

    Kind kindOf(const std::string& name) const;

    // Creates name anew (anything already there, a link included, is never opened) and holds a
    // lock on it until the returned stream is closed, so a sweep of another process leaves it
    // alone. Null with error set on failure; EEXIST means the name is taken.
    std::FILE* createLocked(const std::string& name, int& error) const;
    // Replaces to by from within this folder; a link at to is replaced, not followed.
    bool rename(const std::string& from, const std::string& to, int& error) const;
    void remove(const std::string& name) const;

    // Removes every regular file here and in real subfolders (to a bounded depth) whose name
    // matches and that no open descriptor holds locked; returns how many were removed.
    int removeUnlockedFiles(const std::function<bool(const std::string&)>& matches) const;

private:
    explicit FolderHandle(int fd) : m_fd(fd) {}
    int removeUnlockedFiles(const std::function<bool(const std::string&)>& matches,
                            int depth) const;

    int m_fd = -1;
};

}  // namespace torv::platform
