#include "app/HeadlessConfiguration.h"

#include "app/MissionLog.h"
#include "settings/LauncherSettings.h"

namespace torv {

bool ReportConfigurationWithoutDisplay(MissionLog& log, CLauncherSettings& settings) {
    log.Log(QStringLiteral(
        "ERROR: The configuration dialog needs a display (DISPLAY or WAYLAND_DISPLAY); nothing "
        "was changed."));
    log.Log(QStringLiteral("D3 Path is [") + settings.GetGameFolder() + QStringLiteral("]."));
    log.Log(QStringLiteral("Keep Alive is [") +
            (settings.GetKeepAlive() != 0 ? QStringLiteral("on") : QStringLiteral("off")) +
            QStringLiteral("]."));
    const int count = settings.GetSiteCount();
    if (count == 0) {
        log.Log(QStringLiteral("No mission sites are configured."));
    }
    for (int i = 0; i < count; ++i) {
        log.Log(QStringLiteral("Mission site %1: [%2].").arg(i + 1).arg(settings.GetSite(i)));
    }
    return false;
}

}  // namespace torv
