// The flow's steps as the tool runs them: download over HTTP, extraction with the zip reader,
// the game launch through a starter, and the configuration the window offers.
#pragma once

#include <functional>

#include "app/FlowSteps.h"
#include "app/MissionDownload.h"

namespace torv {

class CLauncherSettings;
class CTokenList;
class GameStarter;
class MissionLog;

class MissionFlowSteps : public FlowSteps {
public:
    MissionFlowSteps(MissionLog& log, CLauncherSettings& settings, const CTokenList& args,
                     GameStarter& starter);

    void SetConfiguration(std::function<bool()> configure) { m_configure = std::move(configure); }

    bool DownloadMission(const QString& url, const QString& archivePath) override;
    bool ExtractMission(const QString& archivePath) override;
    bool RunConfiguration() override;
    LaunchOutcome LaunchGame(int getMissionIndex) override;

private:
    MissionLog& m_log;
    CLauncherSettings& m_settings;
    const CTokenList& m_args;
    GameStarter& m_starter;
    std::function<bool()> m_configure;
    bool m_swept = false;
};

}  // namespace torv
