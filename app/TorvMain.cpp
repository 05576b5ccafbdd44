#include "app/TorvMain.h"

#include <QFileInfo>

#include "app/ConsoleLog.h"
#include "app/HeadlessConfiguration.h"
#include "app/LauncherDlg.h"
#include "app/MissionFlowSteps.h"
#include "app/PlatformGameStarter.h"
#include "common/TokenList.h"
#include "platform/Profile.h"
#include "platform/WineRegistry.h"
#include "settings/LauncherSettings.h"

namespace torv {
namespace {

int exitStatus(FlowResult result) {
    return result == FlowResult::Failed ? 1 : 0;
}

}  // namespace

QString ApplicationNameFrom(const char* argv0) {
    const QString name = QFileInfo(QString::fromLocal8Bit(argv0 ? argv0 : "")).fileName();
    // Only the Windows executable's ending goes: a version in the name ("torv-0.4") stays.
    const QString exe = QStringLiteral(".exe");
    if (name.size() > exe.size() && name.endsWith(exe, Qt::CaseInsensitive)) {
        return name.chopped(exe.size());
    }
    return name.isEmpty() ? QStringLiteral("torv") : name;
}

int RunTorv(const CTokenList& args, const QString& appName, bool withWindow) {
    platform::Profile profile(platform::Profile::defaultPath(appName));
    platform::WineRegistry registry(platform::WineRegistry::defaultPrefix());
    CLauncherSettings settings(profile, registry);
    PlatformGameStarter starter;

    if (!withWindow) {
        ConsoleLog log;
        profile.setProblemReporter([&log](const QString& line) { log.Log(line); });
        MissionFlowSteps steps(log, settings, args, starter);
        steps.SetConfiguration([&] { return ReportConfigurationWithoutDisplay(log, settings); });
        MissionFlow flow(log, settings, args, steps);
        return exitStatus(flow.Run());
    }
    CLauncherDlg window(settings, registry, args, starter);
    profile.setProblemReporter([&window](const QString& line) { window.Log(line); });
    return exitStatus(window.Run());
}

}  // namespace torv
