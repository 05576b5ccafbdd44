// An advisory lock on a folder shared by cooperating processes (flock on a hidden lock file
// inside it). The lock file stays behind: removing it would let a waiter lock a file that a
// newcomer no longer sees.
#pragma once

#include <QString>

namespace torv::platform {

class FolderLock {
public:
    FolderLock() = default;
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    // The lock file's name inside the folder.
    static QString fileName();

    // Opens (creating it when needed) the lock file of folder. False, with the system's reason,
    // when the folder is missing, is not a folder, or cannot be written.
    bool open(const QString& folder, QString& error);
    // Takes the lock when no other process holds it; never blocks.
    bool tryLock();
    bool isLocked() const { return m_locked; }
    // Gives the lock up and closes the file; the destructor does the same.
    void release();

private:
    int m_fd = -1;
    bool m_locked = false;
};

}  // namespace torv::platform
