// The steps the mission flow hands work to: fetching, unpacking, configuring and launching.
#pragma once

#include <QString>

#include "app/GameLaunch.h"

namespace torv {

class FlowSteps {
public:
    virtual ~FlowSteps() = default;
    // True only when a 2xx answer's whole body is now the file.
    virtual bool DownloadMission(const QString& url, const QString& archivePath) = 0;
    // False only when the archive cannot be opened.
    virtual bool ExtractMission(const QString& archivePath) = 0;
    // False when the configuration could not be shown at all.
    virtual bool RunConfiguration() = 0;
    virtual LaunchOutcome LaunchGame(int getMissionIndex) = 0;
};

}  // namespace torv
