// What the tool remembers between runs: the game folder, the ordered mission sites, Keep Alive
// and the version of the last save. Loads itself on the first getter call; written only by Save
// (and by the load itself when it had to discover the game folder).
#pragma once

#include <QString>
#include <QStringList>

namespace torv {

namespace platform {
class Profile;
class WineRegistry;
}  // namespace platform

class CLauncherSettings {
public:
    // Both are the caller's and must outlive the settings.
    CLauncherSettings(platform::Profile& profile, const platform::WineRegistry& registry);
    virtual ~CLauncherSettings() = default;

    CLauncherSettings(const CLauncherSettings&) = delete;
    CLauncherSettings& operator=(const CLauncherSettings&) = delete;

    // The game folder, a Unix path normally ending in "/".
    const QString& GetGameFolder();
    int GetSiteCount();
    // Site i (0-based); an index outside the list gives an empty text.
    const QString& GetSite(int i);
    int GetKeepAlive();

    void SetGameFolder(const QString& folder);
    void ClearSites();
    void AddSite(const QString& site);
    void SetKeepAlive(int keepAlive);

    // True until a save has happened; call a getter first.
    bool IsFirstRun();
    // Writes everything in one replacement of the profile file. False leaves the file as it was;
    // error, when given, then says why.
    bool Save(QString* error = nullptr);
    // Where Save writes.
    QString GetSavePath() const;

private:
    void EnsureLoaded();
    void Load();
    void LoadSites();

    platform::Profile& m_profile;
    const platform::WineRegistry& m_registry;

    QString m_version;
    bool m_loaded = false;
    QString m_gameFolder;
    QStringList m_sites;
    int m_keepAlive = 0;
};

}  // namespace torv
