// Decides what an archive entry's stored name may become inside the missions folder.
#pragma once

#include <string>
#include <string_view>

namespace torv {

enum class EntryNameKind {
    File,    // a path below the missions folder
    Folder,  // ends in a separator: nothing to write
    Unsafe,  // empty, absolute, drive or UNC prefix, or a ".." part: never written
};

struct EntryName {
    EntryNameKind kind;
    // For File and Folder: the stored name with "\" turned into "/", relative to the missions
    // folder.
    std::string relativePath;
};

// Windows archivers store "\" as a folder separator, so it is one here too: an entry means
// the same file on every platform, and "..\" climbs out like "../" does.
EntryName CheckEntryName(std::string_view stored);

}  // namespace torv
