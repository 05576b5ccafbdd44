#include "app/GameLaunch.h"

#include "app/GameStarter.h"
#include "app/MissionLog.h"
#include "common/Paths.h"
#include "common/TokenList.h"
#include "platform/GameExecutable.h"
#include "platform/SteamLibraries.h"
#include "settings/LauncherSettings.h"

namespace torv {
namespace {

const char kLaunched[] = "-launched";

}  // namespace

QStringList BuildGameArguments(const CTokenList& args, int getMissionIndex) {
    const int rund3 = args.Find("-rund3");
    QStringList vector;
    for (int i = 0; i < args.GetCount(); ++i) {
        if (i == getMissionIndex) {
            ++i;  // the mission argument goes with its option
        } else if (i != rund3) {
            vector.append(QString::fromLocal8Bit(args.GetAt(i)));
        }
    }
    if (args.Find(kLaunched) == -1) {
        vector.append(QString::fromLatin1(kLaunched));
    }
    return vector;
}

LaunchOutcome LaunchGame(MissionLog& log, const CTokenList& args, int getMissionIndex,
                         CLauncherSettings& settings, GameStarter& starter) {
    const QString folder = settings.GetGameFolder();
    QString executable = platform::findGameExecutable(folder);
    if (executable.isEmpty()) {
        executable = JoinPath(folder, QStringLiteral("main.exe"));
    }
    const QStringList vector = BuildGameArguments(args, getMissionIndex);

    QString commandLine = QStringLiteral("D3 CMD LINE: [") + executable;
    for (qsizetype i = 1; i < vector.size(); ++i)
        commandLine += QLatin1Char(' ') + vector[i];
    log.Log(commandLine + QLatin1Char(']'));

    if (args.Find("-rund3") == -1) {
        log.Log(QStringLiteral("The -rund3 paramter was not present. D3 will not be run."));
        return LaunchOutcome::NotRequested;
    }
    log.Log(QStringLiteral("Launching D3..."));

    // Steam keeps the install up to date and picks Proton or the native build itself.
    const QString steam =
        platform::isInSteamLibrary(folder) ? platform::findSteamProgram() : QString();
    QString error;
    if (!steam.isEmpty()) {
        QStringList steamVector = {steam, QStringLiteral("-applaunch"),
                                   QString::fromLatin1(platform::kDescent3AppId)};
        steamVector += vector.mid(1);
        log.Log(QStringLiteral("Steam starts D3: [") + steamVector.join(QLatin1Char(' ')) +
                QLatin1Char(']'));
        if (settings.GetKeepAlive() != 0) {
            // steam hands the launch to a running client and ends, or becomes the client
            // itself: neither ends with the game.
            log.Log(
                QStringLiteral("WARNING: Keep Alive cannot wait for a game that Steam starts."));
            if (starter.StartDetached(folder, steam, steamVector, error)) {
                return LaunchOutcome::Started;
            }
        } else if (starter.ReplaceProcess(folder, steam, steamVector, error)) {
            return LaunchOutcome::Started;
        }
    } else if (settings.GetKeepAlive() != 0) {
        if (starter.RunAndWait(folder, executable, vector, error)) {
            return LaunchOutcome::Started;
        }
    } else if (starter.ReplaceProcess(folder, executable, vector, error)) {
        return LaunchOutcome::Started;
    }
    log.Log(QStringLiteral("ERROR: Unable to start D3: [") + error + QStringLiteral("]."));
    return LaunchOutcome::Failed;
}

}  // namespace torv
