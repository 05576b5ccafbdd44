#include "app/MissionExtraction.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "app/EntryNameCheck.h"
#include "app/ExtractionPool.h"
#include "app/StagedFile.h"
#include "platform/FolderHandle.h"
#include "platform/InterruptCleanup.h"
#include "zip/ZipArchive.h"

namespace torv {

namespace {

constexpr uint32_t kCopyStep = 1024;
constexpr uint32_t kStoredStep = 64 * 1024;

struct ArchiveCloser {
    void operator()(ZipArchive* archive) const { ZipArchiveClose(archive); }
};
using ArchiveHandle = std::unique_ptr<ZipArchive, ArchiveCloser>;

bool entriesOverlap(ZipArchive* archive, int count) {
    std::vector<ZipEntrySpan> spans;
    spans.reserve(size_t(count));
    for (int i = 0; i < count; ++i) {
        ZipEntrySpan span{};
        // An entry whose local header cannot be read fails on its own when it is opened.
        if (ZipArchiveGetEntrySpan(archive, i, &span) == 0) {
            spans.push_back(span);
        }
    }
    std::sort(spans.begin(), spans.end(),
              [](const ZipEntrySpan& a, const ZipEntrySpan& b) { return a.start < b.start; });
    for (size_t i = 1; i < spans.size(); ++i) {
        if (spans[i].start < spans[i - 1].end) {
            return true;
        }
    }
    return false;
}

uint64_t declaredTotal(ZipArchive* archive, int count) {
    uint64_t total = 0;
    for (int i = 0; i < count; ++i) {
        ZipEntryInfo info{};
        if (ZipArchiveGetEntryInfo(archive, i, &info) == 0) {
            total += info.size;
        }
    }
    return total;
}

QString systemText(int error) {
    return QString::fromStdString(std::generic_category().message(error));
}

QString folderProblem(const std::string& folder, int error) {
    const QString named = "folder [" + QFile::decodeName(folder.c_str()) + "]";
    if (error == ENOENT) {
        return named + " does not exist";
    }
    if (error == ELOOP) {
        return named + " is a symbolic link";
    }
    if (error == ENOTDIR) {
        return named + " is not a folder";
    }
    return named + " cannot be opened (" + systemText(error) + ")";
}

// Opens the folder an entry goes into, from the missions folder through real folders only:
// why it cannot be reached, or empty with the folder in sub (parts being empty means root).
QString reachFolder(const platform::FolderHandle& root, const std::vector<std::string>& parts,
                    platform::FolderHandle& sub) {
    std::string walked;
    for (size_t i = 0; i < parts.size(); ++i) {
        walked += i == 0 ? parts[i] : "/" + parts[i];
        int error = 0;
        platform::FolderHandle next = (i == 0 ? root : sub).child(parts[i], error);
        if (!next.isOpen()) {
            return folderProblem(walked, error);
        }
        sub = std::move(next);
    }
    return {};
}

// The parts of a relative path that name folders to pass through; "." and empty parts lead
// nowhere.
std::vector<std::string> splitPath(const std::string& path) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos) {
            end = path.size();
        }
        std::string part = path.substr(start, end - start);
        if (!part.empty() && part != ".") {
            parts.push_back(std::move(part));
        }
        start = end + 1;
    }
    return parts;
}

// Why nothing may be written at name in folder; empty when it may (absent, or a writable file
// to be replaced).
QString targetProblem(const platform::FolderHandle& folder, const std::string& name) {
    using Kind = platform::FolderHandle::Kind;
    switch (folder.kindOf(name)) {
        case Kind::Missing:
        case Kind::File:
            return {};
        case Kind::ReadOnlyFile:
            return QStringLiteral("the file there is read-only");
        case Kind::Folder:
            return QStringLiteral("a folder has that name");
        case Kind::Link:
            return QStringLiteral("a symbolic link has that name");
        case Kind::Other:
            break;
    }
    return QStringLiteral("a special file has that name");
}

// Copies the open entry in steps of the buffer's size; false when a read failed.
bool copyEntry(ZipArchive* archive, std::vector<uint8_t>& buffer, StagedFile& out) {
    const auto step = uint32_t(buffer.size());
    int n = 0;
    while ((n = ZipArchiveReadEntry(archive, buffer.data(), step)) == int(step)) {
        out.write(buffer.data(), step);
    }
    if (n < 0) {
        return false;
    }
    out.write(buffer.data(), size_t(n));
    return true;
}

// An entry through the reads; false when it is damaged. A stored entry is judged only by its
// size and CRC-32 at the close, whatever the steps, so it is read in large ones; a deflated one
// keeps the 1024-byte steps.
bool streamEntry(ZipArchive* archive, int index, StagedFile& out) {
    ZipEntrySizes sizes{};
    const bool stored = ZipArchiveGetEntrySizes(archive, index, &sizes) == 0 && sizes.method == 0;
    std::vector<uint8_t> buffer(
        stored ? std::clamp<uint32_t>(sizes.uncompressedSize, 1, kStoredStep) : kCopyStep);
    const bool opened = ZipArchiveOpenEntry(archive, index) == 0;
    const bool copied = opened && copyEntry(archive, buffer, out);
    // Closing checks the size and the CRC-32 of everything delivered.
    return opened && ZipArchiveCloseEntry(archive) == 0 && copied;
}

// An entry decoded whole by the pool (size and CRC-32 checked), or streamed when it is not for
// the pool; false when it is damaged.
bool writeEntry(ZipArchive* archive, ExtractionPool& pool, int index, StagedFile& out) {
    const std::optional<ExtractionPool::Decoded> decoded = pool.wait(index);
    if (!decoded) {
        return streamEntry(archive, index, out);
    }
    if (decoded->whole) {
        out.write(decoded->data, decoded->size);
    }
    pool.release(index);
    return decoded->whole;
}

// The entries worth decoding ahead: those with a file's name (the rest are never written).
std::vector<int> fileEntries(ZipArchive* archive, int count) {
    std::vector<int> files;
    for (int i = 0; i < count; ++i) {
        ZipEntryInfo info{};
        if (ZipArchiveGetEntryInfo(archive, i, &info) == 0 &&
            CheckEntryName(info.name).kind == EntryNameKind::File) {
            files.push_back(i);
        }
    }
    return files;
}

}  // namespace

bool ExtractMission(MissionLog& log, const QString& archivePath, const QString& missionsFolder,
                    const ExtractionTuning& tuning) {
    ArchiveHandle archive(ZipArchiveOpen(QFile::encodeName(archivePath).constData(), 0));
    if (!archive) {
        return false;
    }
    const int count = ZipArchiveGetEntryCount(archive.get());
    if (count <= 0) {
        return true;
    }

    // Checked before anything is written, so a refused archive leaves no trace.
    if (entriesOverlap(archive.get(), count)) {
        log.Log("ERROR: Archive [" + archivePath +
                "] has entries that share their data; nothing was unzipped.");
        return true;
    }
    if (declaredTotal(archive.get(), count) > kMaxUnpackedBytes) {
        log.Log("ERROR: Archive [" + archivePath +
                "] would unpack to more than 2 GiB; nothing was unzipped.");
        return true;
    }

    int rootError = 0;
    const platform::FolderHandle root =
        platform::FolderHandle::open(QFile::encodeName(missionsFolder).toStdString(), rootError);
    // An interrupted extraction leaves no archive behind, as a finished one does not.
    const std::filesystem::path archiveFile(QFile::encodeName(archivePath).toStdString());
    int archiveFolderError = 0;
    const platform::FolderHandle archiveFolder = platform::FolderHandle::open(
        archiveFile.has_parent_path() ? archiveFile.parent_path().string() : ".",
        archiveFolderError);
    const platform::RemoveOnInterrupt archiveGuard(archiveFolder.descriptor(),
                                                   archiveFile.filename().string());

    // Entries decode on every core ahead of this loop, which still writes and logs them one by
    // one, in archive order, on this thread.
    ExtractionPool pool(archive.get(), fileEntries(archive.get(), count), tuning);
    for (int i = 0; i < ZipArchiveGetEntryCount(archive.get()); ++i) {
        ZipEntryInfo info{};
        if (ZipArchiveGetEntryInfo(archive.get(), i, &info) != 0) {
            continue;
        }
        const QString stored = QFile::decodeName(info.name);
        const EntryName name = CheckEntryName(info.name);
        if (name.kind == EntryNameKind::Unsafe) {
            log.Log("WARNING: Skipped unsafe file name [" + stored + "].");
            continue;
        }
        const auto skipped = [&](const QString& why) {
            log.Log((name.kind == EntryNameKind::Folder ? "WARNING: Folder [" : "WARNING: File [") +
                    stored + "] was not unzipped: " + why + ".");
        };
        if (!root.isOpen()) {
            skipped("the missions folder cannot be opened (" + systemText(rootError) + ")");
            continue;
        }
        std::vector<std::string> parts = splitPath(name.relativePath);
        std::string leaf;
        if (name.kind == EntryNameKind::File) {
            if (parts.empty()) {
                skipped(QStringLiteral("a folder has that name"));
                continue;
            }
            leaf = std::move(parts.back());
            parts.pop_back();
        }
        platform::FolderHandle sub;
        if (const QString problem = reachFolder(root, parts, sub); !problem.isEmpty()) {
            skipped(problem);
            continue;
        }
        const platform::FolderHandle& folder = parts.empty() ? root : sub;
        // A folder entry has nothing to write once its folder is there; folders are never
        // created for the user.
        if (name.kind == EntryNameKind::Folder) {
            continue;
        }
        if (const QString problem = targetProblem(folder, leaf); !problem.isEmpty()) {
            skipped(problem);
            continue;
        }
        StagedFile out(folder, leaf);
        if (!out.isOpen()) {
            skipped("it could not be created (" + QString::fromStdString(out.errorText()) + ")");
            continue;
        }
        const bool intact = writeEntry(archive.get(), pool, i, out);
        if (!intact) {
            log.Log("WARNING: File [" + stored + "] is damaged and was not unzipped.");
            continue;
        }
        if (!out.commit()) {
            skipped("it could not be written (" + QString::fromStdString(out.errorText()) + ")");
            continue;
        }
        log.Log("Unzipped File: [" + stored + "].");
    }
    return true;
}

}  // namespace torv
