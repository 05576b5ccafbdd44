#include "app/MissionFlow.h"

#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <QUrl>

#include "app/FlowSteps.h"
#include "app/MissionLog.h"
#include "common/Paths.h"
#include "common/PumpMessages.h"
#include "common/TokenList.h"
#include "platform/Files.h"
#include "platform/FolderLock.h"
#include "settings/LauncherSettings.h"

namespace torv {

MissionFlow::MissionFlow(MissionLog& log, CLauncherSettings& settings, const CTokenList& args,
                         FlowSteps& steps)
    : m_log(log), m_settings(settings), m_args(args), m_steps(steps) {}

namespace {

// How often a waiting process asks for the lock again.
constexpr int kLockRetryMs = 100;

void LogUsage(MissionLog& log) {
    log.Log(QStringLiteral("ERROR: -getmission must be followed by a mission name."));
    log.Log(QStringLiteral("Usage: TORV -getmission <mission> [-rund3] [<d3 args>]"));
    log.Log(
        QStringLiteral("Example: TORV -getmission btc.mn3 -rund3 -directip "
                       "192.168.0.100 -nointro -launched"));
}

}  // namespace

QString MissionFlow::GetMissionsFolder() const {
    const QString gameFolder = m_settings.GetGameFolder();
    // Windows finds Missions or MISSIONS for missions; so does this tool on any file system.
    const QString found = platform::findFolderNoCase(gameFolder, QStringLiteral("missions"));
    if (!found.isEmpty()) {
        return JoinPath(gameFolder, QFileInfo(found).fileName() + u'/');
    }
    return JoinPath(gameFolder, QStringLiteral("missions/"));
}

bool MissionFlow::LockMissionsFolder(platform::FolderLock& lock) {
    const QString folder = GetMissionsFolder();
    QString error;
    if (!lock.open(folder, error)) {
        m_lockError = error;
        return false;
    }
    if (!lock.tryLock()) {
        m_log.Log("Another torv is fetching into [" + folder + "]; waiting for it to finish...");
        // Polled rather than blocked on, so the window stays alive while it waits.
        while (!lock.tryLock()) {
            QThread::msleep(kLockRetryMs);
            PumpMessages();
        }
    }
    return true;
}

bool MissionFlow::HasMissionFile(const QString& missionName) const {
    // Windows finds BTC.MN3 for btc.mn3; so does this tool on a file system that tells them apart.
    const QString found =
        platform::findFileNoCase(GetMissionsFolder(), missionName + QStringLiteral(".mn3"));
    return !found.isEmpty() && platform::isReadableFile(found);
}

FlowResult MissionFlow::Launch() {
    return m_steps.LaunchGame(m_getMissionIndex) == LaunchOutcome::Failed ? FlowResult::Failed
                                                                          : FlowResult::Done;
}

FlowResult MissionFlow::Run() {
    m_log.Log(QStringLiteral("Torvane Auto-download Tool by Quillfen."));
    if (m_args.WasTruncated()) {
        m_log.Log(QStringLiteral(
            "WARNING: The command line is too long; arguments past the 32nd or characters past "
            "the 127th of an argument were dropped."));
    }

    if (m_args.GetCount() < 2) {
        m_log.Log(QStringLiteral("Entering configuration mode..."));
        return m_steps.RunConfiguration() ? FlowResult::Configuration : FlowResult::Failed;
    }

    const QString gameFolder = m_settings.GetGameFolder();
    if (gameFolder.isEmpty()) {
        m_log.Log(QStringLiteral("ERROR: Unable to find path to D3 Executable!"));
        return FlowResult::Failed;
    }
    m_log.Log(QStringLiteral("D3 Path is [") + gameFolder + QStringLiteral("]."));

    bool haveMission = false;
    QString missionName;
    m_getMissionIndex = m_args.Find("-getmission");
    if (m_getMissionIndex == -1) {
        m_log.Log(QStringLiteral("WARNING: -getmission arg not found, no mission downloaded..."));
        haveMission = true;
    } else {
        const char* argument = m_args.GetAt(m_getMissionIndex + 1);
        if (argument != nullptr && argument[0] != '-') {
            missionName = platform::fileNamePart(QString::fromLocal8Bit(argument));
        }
        // "", ".", ".." or "a/" name no mission: fetching "<site>.zip" or "<site>..zip" would
        // be a guess.
        if (missionName.isEmpty() || missionName == QLatin1String(".")) {
            LogUsage(m_log);
            return FlowResult::Failed;
        }
    }

    // Held from the lookup to the end of the extraction, so that processes fetching into one
    // folder take turns and a waiter finds what the one before it fetched. A folder that cannot
    // be locked is still searched: a mission already there needs no writable folder.
    platform::FolderLock lock;
    const bool locked = m_getMissionIndex != -1 && !haveMission && LockMissionsFolder(lock);
    if (m_getMissionIndex != -1 && HasMissionFile(missionName)) {
        m_log.Log(QStringLiteral("Mission file [") + missionName +
                  QStringLiteral(".mn3] found in [") + GetMissionsFolder() + QStringLiteral("]."));
        haveMission = true;
    }
    if (haveMission) {
        lock.release();
        return Launch();
    }
    if (!locked) {
        m_log.Log("ERROR: Unable to use the missions folder [" + GetMissionsFolder() +
                  "]: " + m_lockError + ".");
        return FlowResult::Failed;
    }

    const QString archivePath = GetMissionsFolder() + missionName + QStringLiteral(".zip");
    // A URL cannot carry blanks and the like; the site part is the user's own text.
    const QString missionInUrl = QString::fromLatin1(QUrl::toPercentEncoding(missionName));
    bool fetched = false;
    // The count is read again each time: a nested configuration may change the list meanwhile.
    for (int i = 0; i < m_settings.GetSiteCount() && !fetched; ++i) {
        const QString url = m_settings.GetSite(i) + missionInUrl + QStringLiteral(".zip");
        if (!m_steps.DownloadMission(url, archivePath)) {
            continue;
        }
        if (!m_steps.ExtractMission(archivePath)) {
            continue;
        }
        m_log.Log(QStringLiteral("Deleting zip file..."));
        QFile::remove(archivePath);
        if (HasMissionFile(missionName)) {
            fetched = true;
        } else {
            m_log.Log(QStringLiteral("Zip file didn't contain the .mn3 for the mission."));
        }
    }

    lock.release();
    if (!fetched) {
        m_log.Log(QStringLiteral("ERROR: Mission was not found on any configured sites."));
        return FlowResult::Failed;
    }
    return Launch();
}

}  // namespace torv
