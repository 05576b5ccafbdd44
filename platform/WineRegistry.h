// The registry of a Wine prefix, which stands in for the Windows registry of the game and of the
// front ends: system.reg holds HKEY_LOCAL_MACHINE, user.reg HKEY_CURRENT_USER. A missing prefix
// or hive file reads as a registry without keys.
#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>

#include "platform/RegistryFile.h"

namespace torv::platform {

class WineRegistry {
public:
    enum class Hive { LocalMachine, CurrentUser };
    // Prefer32Bit looks a LocalMachine key under Software\ up in Software\Wow6432Node\ first,
    // where a 64-bit prefix keeps the keys of 32-bit programs, then in the plain place.
    enum class View { Native, Prefer32Bit };

    explicit WineRegistry(QString prefixPath);

    // $WINEPREFIX, else ~/.wine.
    static QString defaultPrefix();

    QString prefixPath() const { return m_prefix; }
    QString hivePath(Hive hive) const;

    bool hasKey(Hive hive, const QString& key, View view = View::Native) const;
    std::optional<RegistryValue> readValue(Hive hive, const QString& key, const QString& name,
                                           View view = View::Native) const;
    // A REG_SZ or REG_EXPAND_SZ value (not expanded); any other type is no string.
    std::optional<QString> readString(Hive hive, const QString& key, const QString& name,
                                      View view = View::Native) const;
    QStringList subkeys(Hive hive, const QString& key) const;

    // Stores the value under the key (created when missing). While a Wine server of this prefix
    // runs it keeps the registry in memory and would write its own copy back over the file, so
    // the value goes through the server (Wine's reg tool); otherwise the hive file is changed,
    // every other line kept, and replaced atomically. False when nothing was written: the hive
    // file is missing, cannot be replaced, or the reg tool failed or was given a non-string type.
    bool writeValue(Hive hive, const QString& key, const RegistryValue& value);
    // A string: REG_EXPAND_SZ when the existing value is one, else REG_SZ.
    bool writeString(Hive hive, const QString& key, const QString& name, const QString& text);

    // True while a wineserver of this prefix runs: it holds the lock file of its server folder.
    bool isServerRunning() const;
    // Where Wine keeps its server folders (/tmp/.wine-<uid>); tests point it elsewhere.
    void setServerRoot(const QString& folder) { m_serverRoot = folder; }
    // The program that runs Wine's reg tool in the prefix ("wine", looked up on PATH).
    void setWineProgram(const QString& program) { m_wineProgram = program; }

    // A Windows path through the prefix's dosdevices drive links, each part matched without
    // regard to case where the exact spelling does not exist; empty without a usable drive.
    QString toUnixPath(const QString& windowsPath) const;
    // The Windows path a program inside the prefix sees for a Unix path: through the drive whose
    // link covers the longest part of it, else through Z:.
    QString toWindowsPath(const QString& unixPath) const;

private:
    struct CachedHive {
        bool loaded = false;
        bool exists = false;
        QDateTime modified;
        qint64 size = -1;
        RegistryFile file;
    };

    const RegistryFile& hiveFile(Hive hive) const;
    QStringList viewKeys(Hive hive, const QString& key, View view) const;
    QString dosDevices() const;
    bool writeThroughServer(Hive hive, const QString& key, const RegistryValue& value) const;
    void forgetHive(Hive hive) { m_hives[hive == Hive::LocalMachine ? 0 : 1] = CachedHive(); }

    QString m_prefix;
    QString m_serverRoot;
    QString m_wineProgram = QStringLiteral("wine");
    mutable CachedHive m_hives[2];
};

}  // namespace torv::platform
