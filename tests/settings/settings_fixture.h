// A user's machine in a folder: a Wine prefix whose registry may name a game folder, a profile in
// a temporary config home, and game folders.
#pragma once

#include <QFileInfo>
#include <QString>

#include "platform/Profile.h"
#include "platform/WineRegistry.h"
#include "platform/wine_prefix_fixture.h"

namespace torv::test {

// The user.reg text of the front ends' keys, their values as Wine escapes them.
inline QString Kquery(const QString& values) {
    return "[Software\\\\coldstorage\\\\Kquery4] 1700000005\n" + values + "\n";
}
inline QString Kali(const QString& subkey, const QString& values) {
    return "[Software\\\\Kali\\\\Kali95\\\\Games\\\\" + subkey + "] 1700000006\n" + values + "\n";
}
inline QString KqueryValues(const QString& exe, const QString& params) {
    return Kquery("\"game_desc3\"=\"" + exe + "\"\n\"game_desc3_params\"=\"" + params + "\"");
}

class SettingsFixture {
public:
    SettingsFixture()
        : m_profile(m_prefix.root() + QStringLiteral("/config/Quillfen/torv.ini")),
          m_registry(m_prefix.prefix()) {}

    WinePrefixFixture& prefix() { return m_prefix; }
    platform::Profile& profile() { return m_profile; }
    platform::WineRegistry& registry() { return m_registry; }
    QString iniText() const {
        return QString::fromUtf8(WinePrefixFixture::read(m_profile.filePath()));
    }
    void seedIni(const QString& text) const {
        WinePrefixFixture::write(m_profile.filePath(), text);
    }
    QByteArray userReg() const { return WinePrefixFixture::read(m_prefix.prefix() + "/user.reg"); }
    // What a fresh look at user.reg finds: the text of a REG_SZ, else "<type>:<text or hex>".
    QString stored(const QString& key, const QString& name) const {
        const auto value = platform::WineRegistry(m_prefix.prefix())
                               .readValue(platform::WineRegistry::Hive::CurrentUser, key, name);
        if (!value) {
            return QStringLiteral("<none>");
        }
        const QString text =
            value->isString() ? value->text() : QString::fromLatin1(value->data.toHex());
        return value->type == platform::RegSz ? text : QString::number(value->type) + ':' + text;
    }

    // A game executable at this path under drive C:; returns its folder's path ending in "/".
    QString gameFile(const QString& relative) const {
        const QString path = m_prefix.driveC() + QLatin1Char('/') + relative;
        WinePrefixFixture::write(path, QByteArray("MZ"));
        return QFileInfo(path).canonicalPath() + QLatin1Char('/');
    }

    // Drive C: holds the game (Games/Descent3/MAIN.EXE) and this tool (Tools/torv); no Wine
    // server of the machine is ever asked.
    void stageGameAndTool() {
        game = gameFile(QStringLiteral("Games/Descent3/MAIN.EXE"));
        ownExe = m_prefix.driveC() + QStringLiteral("/Tools/torv");
        WinePrefixFixture::write(ownExe, QByteArray("x"));
        m_registry.setServerRoot(m_prefix.makeFolder(QStringLiteral("server-root")));
        m_registry.setWineProgram(m_prefix.root() + QStringLiteral("/no-wine"));
    }
    QString game;
    QString ownExe;

private:
    WinePrefixFixture m_prefix;
    platform::Profile m_profile;
    platform::WineRegistry m_registry;
};

}  // namespace torv::test
