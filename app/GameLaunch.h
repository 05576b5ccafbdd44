// The last step of a run: the game's argument vector, its command line in the log, and the start
// of the game when the command line asked for it with "-rund3".
#pragma once

#include <QString>
#include <QStringList>

namespace torv {

class CLauncherSettings;
class CTokenList;
class GameStarter;
class MissionLog;

enum class LaunchOutcome { NotRequested, Started, Failed };

// The tool's own tokens without "-getmission <mission>" and the first "-rund3", with "-launched"
// appended unless present; element 0 is the tool's own path.
QStringList BuildGameArguments(const CTokenList& args, int getMissionIndex);

LaunchOutcome LaunchGame(MissionLog& log, const CTokenList& args, int getMissionIndex,
                         CLauncherSettings& settings, GameStarter& starter);

}  // namespace torv
