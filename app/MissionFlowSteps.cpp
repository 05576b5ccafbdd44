#include "app/MissionFlowSteps.h"

#include <QFile>
#include <QFileInfo>

#include "app/MissionExtraction.h"
#include "app/MissionLog.h"
#include "app/StagedFile.h"
#include "common/Paths.h"
#include "settings/LauncherSettings.h"

namespace torv {

MissionFlowSteps::MissionFlowSteps(MissionLog& log, CLauncherSettings& settings,
                                   const CTokenList& args, GameStarter& starter)
    : m_log(log), m_settings(settings), m_args(args), m_starter(starter) {}

bool MissionFlowSteps::DownloadMission(const QString& url, const QString& archivePath) {
    if (!m_swept) {
        // A killed run's temporary files go before this run adds its own.
        m_swept = true;
        const QString folder = JoinPath(QFileInfo(archivePath).path(), QString());
        const int removed = SweepStagedFiles(QFile::encodeName(folder).toStdString());
        if (removed > 0) {
            m_log.Log(QStringLiteral("Removed %1 temporary %2 left in [%3] by an interrupted run.")
                          .arg(removed)
                          .arg(removed == 1 ? "file" : "files", folder));
        }
    }
    return torv::DownloadMission(m_log, url, archivePath);
}

bool MissionFlowSteps::ExtractMission(const QString& archivePath) {
    // The archive lies in the missions folder, whatever the case of that folder's name.
    const QString missionsFolder = JoinPath(QFileInfo(archivePath).path(), QString());
    return torv::ExtractMission(m_log, archivePath, missionsFolder);
}

bool MissionFlowSteps::RunConfiguration() {
    return m_configure ? m_configure() : false;
}

LaunchOutcome MissionFlowSteps::LaunchGame(int getMissionIndex) {
    return torv::LaunchGame(m_log, m_args, getMissionIndex, m_settings, m_starter);
}

}  // namespace torv
