// The front ends' launch settings in the Wine prefix's HKEY_CURRENT_USER: reading the entries,
// the check state each shows, and rewriting them so that a front end starts this tool (which
// fetches the mission and then starts the game) or the game directly. No widgets: the
// configuration dialog keeps the rows, this keeps the entries.
#pragma once

#include <QList>
#include <QString>
#include <memory>
#include <vector>

#include "settings/FrontEndEntry.h"

namespace torv {

namespace platform {
class WineRegistry;
}

// What to store for a row.
struct LaunchSettings {
    QString executable;
    QString parameters;
    // A value kept is not written: it stays exactly as it was.
    bool keepExecutable = false;
    bool keepParameters = false;
    // False when the parameters could not be taken apart whole, so the row was not rewritten
    // as its check state asks: both values are kept.
    bool asAsked = true;
};

class CFrontEnds {
public:
    // Longest value text a front end's setting may hold, as its readers always allowed.
    static constexpr qsizetype kMaxValueLength = 511;
    static const QString kKquery4Key;
    static const QString kKali95Key;

    enum class WriteResult { Written, KeyMissing, LeftAsItWas, Failed };

    // registry must outlive this object. The Proton prefix of each Steam library that holds the
    // game is searched after it.
    explicit CFrontEnds(platform::WineRegistry& registry);
    CFrontEnds(CFrontEnds&&) noexcept;
    ~CFrontEnds();

    // This tool's executable (a Unix path) for the rows that start it; by default the running
    // program's own file.
    void SetOwnExecutable(const QString& path) { m_ownExecutable = path; }

    // Each appends entries and returns the indexes of those added: Kquery 4's in each prefix
    // where its key exists, and one per Kali 95 game entry whose subkey name holds "Descent 3".
    QList<int> AddKquery4Entry();
    QList<int> AddKali95Entries();

    int GetCount() const { return int(m_entries.size()); }
    const FrontEndEntry& GetEntry(int index) const { return m_entries.at(index); }

    // The state a row shows for the executable as read (lower case).
    static int CheckStateFor(const QString& executable);
    static QString GetMissionPlaceholder(int kind);
    // The texts to store for entry index when its row is in checkState; gameFolder is the
    // game folder as a Unix path.
    LaunchSettings BuildLaunchSettings(int index, int checkState, const QString& gameFolder) const;

    WriteResult WriteKquery4Entry(int index, int checkState, const QString& gameFolder);
    WriteResult WriteKali95Entry(int index, int checkState, const QString& gameFolder);
    // By the entry's kind.
    WriteResult WriteEntry(int index, int checkState, const QString& gameFolder);

    // The log line that tells the user a row was not written as asked; empty for a row that was
    // (or whose key is gone, which counts as a front end that is no longer there).
    QString WarningFor(int index, WriteResult result) const;

private:
    platform::WineRegistry& RegistryOf(int prefix) const;
    FrontEndValue ReadValue(const platform::WineRegistry& registry, const QString& key,
                            const QString& name) const;
    FrontEndEntry ReadEntry(int prefix, int kind, const QString& key, const QString& suffix,
                            const QString& exeName, const QString& paramsName,
                            const QString& rowText) const;
    WriteResult Write(int index, int checkState, const QString& gameFolder, const QString& key,
                      const QString& exeName, const QString& paramsName);

    platform::WineRegistry& m_registry;
    std::vector<std::unique_ptr<platform::WineRegistry>> m_protonRegistries;
    QString m_ownExecutable;
    QList<FrontEndEntry> m_entries;
};

}  // namespace torv
