// Which program in a game folder is the game.
#pragma once

#include <QString>

namespace torv::platform {

// The game's executable in folder, names matched without regard to case, in this order: the
// open-source engine built for this system ("Descent3"), the retail Windows game ("main.exe"),
// the open-source engine built for Windows ("Descent3.exe"). Empty when the folder holds none of
// them as a readable file.
QString findGameExecutable(const QString& folder);

}  // namespace torv::platform
