// The main road: from a command line that names a mission, make sure the mission file is in the
// game's missions folder, fetching it from the configured sites in their order, then hand over
// to the game launch. Every step reports to the log.
#pragma once

#include <QString>

namespace torv {

class CLauncherSettings;
class CTokenList;
class FlowSteps;
class MissionLog;
namespace platform {
class FolderLock;
}

enum class FlowResult {
    Configuration,  // no arguments: the configuration ran
    Done,           // the mission is in place (or none was asked for), the game started if asked
    Failed,         // the mission is missing, the command line was wrong, or the game did not start
};

class MissionFlow {
public:
    MissionFlow(MissionLog& log, CLauncherSettings& settings, const CTokenList& args,
                FlowSteps& steps);

    FlowResult Run();

private:
    QString GetMissionsFolder() const;
    bool HasMissionFile(const QString& missionName) const;
    // False, with m_lockError set, when the missions folder is missing or cannot be written.
    bool LockMissionsFolder(platform::FolderLock& lock);
    FlowResult Launch();

    MissionLog& m_log;
    CLauncherSettings& m_settings;
    const CTokenList& m_args;
    FlowSteps& m_steps;
    int m_getMissionIndex = -1;
    QString m_lockError;
};

}  // namespace torv
