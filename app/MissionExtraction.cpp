#include "app/MissionExtraction.h"

#include <QFile>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <system_error>
#include <vector>

#include "app/EntryNameCheck.h"
#include "app/StagedFile.h"
#include "zip/ZipArchive.h"

namespace torv {

namespace {

constexpr uint32_t kCopyStep = 1024;

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

// The old behaviour of opening the target for writing: a read-only file or a folder there
// cannot be replaced.
bool targetWritable(const std::filesystem::path& target) {
    std::error_code error;
    const auto status = std::filesystem::symlink_status(target, error);
    if (error || status.type() == std::filesystem::file_type::not_found ||
        status.type() == std::filesystem::file_type::symlink) {
        return true;
    }
    if (status.type() != std::filesystem::file_type::regular) {
        return false;
    }
    return (status.permissions() & std::filesystem::perms::owner_write) !=
           std::filesystem::perms::none;
}

// Copies the open entry through the 1024-byte steps; false when a read failed.
bool copyEntry(ZipArchive* archive, StagedFile& out) {
    uint8_t buffer[kCopyStep];
    int n = 0;
    while ((n = ZipArchiveReadEntry(archive, buffer, kCopyStep)) == int(kCopyStep)) {
        out.write(buffer, kCopyStep);
    }
    if (n < 0) {
        return false;
    }
    out.write(buffer, size_t(n));
    return true;
}

}  // namespace

bool ExtractMission(MissionLog& log, const QString& archivePath, const QString& missionsFolder) {
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
        log.log("ERROR: Archive [" + archivePath +
                "] has entries that share their data; nothing was unzipped.");
        return true;
    }
    if (declaredTotal(archive.get(), count) > kMaxUnpackedBytes) {
        log.log("ERROR: Archive [" + archivePath +
                "] would unpack to more than 2 GiB; nothing was unzipped.");
        return true;
    }

    const std::filesystem::path folder(QFile::encodeName(missionsFolder).toStdString());
    for (int i = 0; i < ZipArchiveGetEntryCount(archive.get()); ++i) {
        ZipEntryInfo info{};
        if (ZipArchiveGetEntryInfo(archive.get(), i, &info) != 0) {
            continue;
        }
        const QString stored = QFile::decodeName(info.name);
        const EntryName name = CheckEntryName(info.name);
        if (name.kind == EntryNameKind::Unsafe) {
            log.log("WARNING: Skipped unsafe file name [" + stored + "].");
            continue;
        }
        if (name.kind == EntryNameKind::Folder) {
            continue;
        }
        const std::filesystem::path target = folder / name.relativePath;
        if (!targetWritable(target)) {
            continue;
        }
        StagedFile out(target);
        if (!out.isOpen()) {
            continue;
        }
        const bool opened = ZipArchiveOpenEntry(archive.get(), i) == 0;
        const bool copied = opened && copyEntry(archive.get(), out);
        // Closing checks the size and the CRC-32 of everything delivered.
        const bool intact = opened && ZipArchiveCloseEntry(archive.get()) == 0 && copied;
        if (!intact) {
            log.log("WARNING: File [" + stored + "] is damaged and was not unzipped.");
            continue;
        }
        if (!out.commit()) {
            log.log("WARNING: Unable to write [" + stored + "]; it was not unzipped.");
            continue;
        }
        log.log("Unzipped File: [" + stored + "].");
    }
    return true;
}

}  // namespace torv
