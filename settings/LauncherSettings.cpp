#include "settings/LauncherSettings.h"

#include "platform/Profile.h"
#include "platform/WineRegistry.h"
#include "res/Strings.h"
#include "settings/GameDiscovery.h"

namespace torv {

namespace {

const QString kSettingsSection = QStringLiteral("settings");
const QString kSitesSection = QStringLiteral("MissionSites");
const QString kGameFolderEntry = QStringLiteral("D3 Executable Path");
const QString kKeepAliveEntry = QStringLiteral("Keep Alive");
const QString kVersionEntry = QStringLiteral("Version");

}  // namespace

CLauncherSettings::CLauncherSettings(platform::Profile& profile,
                                     const platform::WineRegistry& registry)
    : m_profile(profile), m_registry(registry) {}

void CLauncherSettings::EnsureLoaded() {
    if (!m_loaded) {
        Load();
        m_loaded = true;
    }
}

const QString& CLauncherSettings::GetGameFolder() {
    EnsureLoaded();
    return m_gameFolder;
}

int CLauncherSettings::GetSiteCount() {
    EnsureLoaded();
    return int(m_sites.size());
}

const QString& CLauncherSettings::GetSite(int i) {
    EnsureLoaded();
    static const QString kNoSite;
    if (i < 0 || i >= m_sites.size()) {
        return kNoSite;
    }
    return m_sites.at(i);
}

int CLauncherSettings::GetKeepAlive() {
    EnsureLoaded();
    return m_keepAlive;
}

void CLauncherSettings::SetGameFolder(const QString& folder) {
    m_gameFolder = folder;
}

void CLauncherSettings::ClearSites() {
    m_sites.clear();
}

void CLauncherSettings::AddSite(const QString& site) {
    m_sites.append(site);
}

void CLauncherSettings::SetKeepAlive(int keepAlive) {
    m_keepAlive = keepAlive;
}

bool CLauncherSettings::IsFirstRun() {
    EnsureLoaded();
    return m_version.isEmpty();
}

void CLauncherSettings::Load() {
    m_gameFolder = m_profile.getString(kSettingsSection, kGameFolderEntry, QString());
    if (m_gameFolder.isEmpty() || !IsValidGameFolder(m_gameFolder)) {
        if (DiscoverGameFolder(m_registry, m_gameFolder)) {
            // Stored at once, so a cancelled configuration dialog does not lose it.
            m_profile.writeString(kSettingsSection, kGameFolderEntry, m_gameFolder);
        }
    }
    LoadSites();
    m_keepAlive = m_profile.getInt(kSettingsSection, kKeepAliveEntry, 0) != 0 ? 1 : 0;
    m_version = m_profile.getString(kSettingsSection, kVersionEntry, QString());
}

void CLauncherSettings::LoadSites() {
    // The entry names are not read: the file order is the saved order.
    const auto values = m_profile.values(kSitesSection);
    for (const auto& entry : values) {
        QString site = entry.second;
        if (!site.endsWith(QLatin1Char('/'))) {
            site += QLatin1Char('/');
        }
        m_sites.append(site);
    }
}

bool CLauncherSettings::Save(QString* error) {
    // One batch: a failure part way must not leave a file without its site list.
    platform::Profile::Batch batch;
    batch.writeString(kSettingsSection, kVersionEntry, res::String(res::IDS_VERSION));
    batch.writeString(kSettingsSection, kGameFolderEntry, m_gameFolder);
    // The old list goes whole, so no entry of a longer list survives a shorter one.
    batch.removeSection(kSitesSection);
    for (qsizetype i = 0; i < m_sites.size(); ++i) {
        batch.writeString(kSitesSection, QStringLiteral("URL%1").arg(i + 1), m_sites.at(i));
    }
    batch.writeInt(kSettingsSection, kKeepAliveEntry, m_keepAlive != 0 ? 1 : 0);
    return m_profile.write(batch, error);
}

QString CLauncherSettings::GetSavePath() const {
    return m_profile.filePath();
}

}  // namespace torv
