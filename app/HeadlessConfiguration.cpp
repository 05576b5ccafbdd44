#include "app/HeadlessConfiguration.h"

#include "app/MissionLog.h"
#include "settings/LauncherSettings.h"

namespace torv {

bool ReportConfigurationWithoutDisplay(MissionLog& log, CLauncherSettings& settings) {
    log.log(QStringLiteral(
        "ERROR: The configuration dialog needs a display (DISPLAY or WAYLAND_DISPLAY); nothing "
        "was changed."));
    log.log(QStringLiteral("D3 Path is [") + settings.GetGameFolder() + QStringLiteral("]."));
    log.log(QStringLiteral("Keep Alive is [") +
            (settings.GetKeepAlive() != 0 ? QStringLiteral("on") : QStringLiteral("off")) +
            QStringLiteral("]."));
    const int count = settings.GetSiteCount();
    if (count == 0) {
        log.log(QStringLiteral("No mission sites are configured."));
    }
    for (int i = 0; i < count; ++i) {
        log.log(QStringLiteral("Mission site %1: [%2].").arg(i + 1).arg(settings.GetSite(i)));
    }
    return false;
}

}  // namespace torv
