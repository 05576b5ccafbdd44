// Deciding what a usable game folder is, and finding one in the game's own registry entries.
#pragma once

#include <QString>

namespace torv {

namespace platform {
class WineRegistry;
}

// True when the folder holds a readable game executable: Descent3, main.exe or Descent3.exe, in
// any letter case. A "/" is put between
// folder and name unless the folder ends in one; an empty folder thus means the root.
bool IsValidGameFolder(const QString& folder);

// Looks the game folder up in the game's registry entries (32-bit view first), then in the Steam
// libraries that hold the game: its install folder, then the game's registry entries in the
// library's Proton prefix. The folder is a Unix path ending in "/". On success folder is set and
// true returned; otherwise folder stays.
bool DiscoverGameFolder(const platform::WineRegistry& registry, QString& folder);

}  // namespace torv
