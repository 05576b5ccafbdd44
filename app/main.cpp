// torv: fetches a Descent 3 mission and starts the game; without arguments, configuration mode.
#include <QApplication>
#include <QCoreApplication>
#include <QFileInfo>

#include "app/ConsoleLog.h"
#include "app/HeadlessConfiguration.h"
#include "app/LauncherDlg.h"
#include "app/MissionFlowSteps.h"
#include "app/PlatformGameStarter.h"
#include "common/TokenList.h"
#include "platform/Display.h"
#include "platform/Profile.h"
#include "platform/WineRegistry.h"
#include "settings/LauncherSettings.h"

namespace {

int exitStatus(torv::FlowResult result) {
    return result == torv::FlowResult::Failed ? 1 : 0;
}

// The profile is named after the executable, as the tool's settings always were.
QString applicationName(const char* argv0) {
    const QString name = QFileInfo(QString::fromLocal8Bit(argv0)).fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot > 0 ? name.left(dot) : name;
}

}  // namespace

int main(int argc, char** argv) {
    torv::CTokenList args;
    args.Fill(argc, argv);

    torv::platform::Profile profile(
        torv::platform::Profile::defaultPath(applicationName(argc > 0 ? argv[0] : "torv")));
    torv::platform::WineRegistry registry(torv::platform::WineRegistry::defaultPrefix());
    torv::CLauncherSettings settings(profile, registry);
    torv::PlatformGameStarter starter;

    if (!torv::platform::hasDisplay()) {
        QCoreApplication app(argc, argv);
        torv::ConsoleLog log;
        torv::MissionFlowSteps steps(log, settings, args, starter);
        steps.SetConfiguration(
            [&] { return torv::ReportConfigurationWithoutDisplay(log, settings); });
        torv::MissionFlow flow(log, settings, args, steps);
        return exitStatus(flow.Run());
    }

    QApplication app(argc, argv);
    torv::CLauncherDlg window(settings, args, starter);
    return exitStatus(window.Run());
}
