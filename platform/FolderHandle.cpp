#include "platform/FolderHandle.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <utility>
#include <vector>

namespace torv::platform {

namespace {

// Deep enough for any mission's layout, shallow enough that a sweep always ends quickly.
constexpr int kSweepDepth = 8;

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// True while name in folder is still the file open as fd.
bool stillNamed(int folder, const std::string& name, int fd) {
    struct stat open {};
    struct stat named {};
    return ::fstat(fd, &open) == 0 &&
           ::fstatat(folder, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
           sameFile(open, named);
}

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

}  // namespace

FolderHandle::~FolderHandle() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

FolderHandle::FolderHandle(FolderHandle&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}

FolderHandle& FolderHandle::operator=(FolderHandle&& other) noexcept {
    if (this != &other) {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
        m_fd = std::exchange(other.m_fd, -1);
    }
    return *this;
}

FolderHandle FolderHandle::open(const std::string& path, int& error) {
    const int fd = ::open(path.empty() ? "." : path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    error = fd < 0 ? errno : 0;
    return FolderHandle(fd);
}

FolderHandle FolderHandle::child(const std::string& name, int& error) const {
    const int fd = ::openat(m_fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) {
        error = 0;
        return FolderHandle(fd);
    }
    error = errno;
    // O_NOFOLLOW reports a link as ELOOP, O_DIRECTORY a file as ENOTDIR; anything else that is
    // there (a FIFO, a device) is "not a folder" too.
    if (error != ELOOP && error != ENOENT) {
        struct stat st {};
        if (::fstatat(m_fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
            error = S_ISLNK(st.st_mode) ? ELOOP : S_ISDIR(st.st_mode) ? error : ENOTDIR;
        }
    }
    return FolderHandle();
}

FolderHandle::Kind FolderHandle::kindOf(const std::string& name) const {
    struct stat st {};
    if (::fstatat(m_fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        return Kind::Missing;
    }
    if (S_ISLNK(st.st_mode)) {
        return Kind::Link;
    }
    if (S_ISDIR(st.st_mode)) {
        return Kind::Folder;
    }
    if (!S_ISREG(st.st_mode)) {
        return Kind::Other;
    }
    return (st.st_mode & S_IWUSR) != 0 ? Kind::File : Kind::ReadOnlyFile;
}

std::FILE* FolderHandle::createLocked(const std::string& name, int& error) const {
    const int fd =
        ::openat(m_fd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
        error = errno;
        return nullptr;
    }
    int locked = -1;
    do {
        locked = ::flock(fd, LOCK_EX);
    } while (locked != 0 && errno == EINTR);
    // A sweep may have taken the fresh file for a dead run's between its creation and the lock:
    // then the name is gone and the caller picks another.
    if (locked != 0 || !stillNamed(m_fd, name, fd)) {
        ::close(fd);
        error = EEXIST;
        return nullptr;
    }
    std::FILE* file = ::fdopen(fd, "wb");
    if (file == nullptr) {
        error = errno;
        ::close(fd);
        ::unlinkat(m_fd, name.c_str(), 0);
        return nullptr;
    }
    error = 0;
    return file;
}

bool FolderHandle::rename(const std::string& from, const std::string& to, int& error) const {
    if (::renameat(m_fd, from.c_str(), m_fd, to.c_str()) != 0) {
        error = errno;
        return false;
    }
    error = 0;
    return true;
}

void FolderHandle::remove(const std::string& name) const {
    ::unlinkat(m_fd, name.c_str(), 0);
}

int FolderHandle::removeUnlockedFiles(
    const std::function<bool(const std::string&)>& matches) const {
    return removeUnlockedFiles(matches, kSweepDepth);
}

int FolderHandle::removeUnlockedFiles(const std::function<bool(const std::string&)>& matches,
                                      int depth) const {
    if (m_fd < 0) {
        return 0;
    }
    // fdopendir takes over the descriptor it is given, so it gets its own.
    const int listFd = ::openat(m_fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listFd < 0) {
        return 0;
    }
    std::unique_ptr<DIR, DirCloser> dir(::fdopendir(listFd));
    if (!dir) {
        ::close(listFd);
        return 0;
    }
    std::vector<std::string> files;
    std::vector<std::string> folders;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        if (entry->d_type == DT_DIR || entry->d_type == DT_UNKNOWN) {
            folders.push_back(name);
        }
        if (entry->d_type != DT_DIR && matches(name)) {
            files.push_back(name);
        }
    }
    dir.reset();

    int removed = 0;
    for (const std::string& name : files) {
        // Non-blocking, so a FIFO of that name cannot hold the sweep.
        const int fd =
            ::openat(m_fd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        struct stat st {};
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            stillNamed(m_fd, name, fd) && ::unlinkat(m_fd, name.c_str(), 0) == 0) {
            ++removed;
        }
        ::close(fd);
    }
    if (depth > 0) {
        for (const std::string& name : folders) {
            int error = 0;
            const FolderHandle sub = child(name, error);
            removed += sub.removeUnlockedFiles(matches, depth - 1);
        }
    }
    return removed;
}

}  // namespace torv::platform
