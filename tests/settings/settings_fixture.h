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

struct SettingsFixture {
    QString iniText() const {
        return QString::fromUtf8(WinePrefixFixture::read(profile.filePath()));
    }
    void seedIni(const QString& text) const { WinePrefixFixture::write(profile.filePath(), text); }
    QByteArray userReg() const { return WinePrefixFixture::read(prefix.prefix() + "/user.reg"); }
    // What a fresh look at user.reg finds: the text of a REG_SZ, else "<type>:<text or hex>".
    QString stored(const QString& key, const QString& name) const {
        const auto value = platform::WineRegistry(prefix.prefix())
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
        const QString path = prefix.driveC() + QLatin1Char('/') + relative;
        WinePrefixFixture::write(path, QByteArray("MZ"));
        return QFileInfo(path).canonicalPath() + QLatin1Char('/');
    }

    // Drive C: holds the game (Games/Descent3/MAIN.EXE) and this tool (Tools/torv); no Wine
    // server of the machine is ever asked.
    void stageGameAndTool() {
        game = gameFile(QStringLiteral("Games/Descent3/MAIN.EXE"));
        ownExe = prefix.driveC() + QStringLiteral("/Tools/torv");
        WinePrefixFixture::write(ownExe, QByteArray("x"));
        registry.setServerRoot(prefix.makeFolder(QStringLiteral("server-root")));
        registry.setWineProgram(prefix.root() + QStringLiteral("/no-wine"));
    }
    WinePrefixFixture prefix;
    platform::Profile profile{prefix.root() + QStringLiteral("/config/Quillfen/torv.ini")};
    platform::WineRegistry registry{prefix.prefix()};
    QString game;
    QString ownExe;
};

}  // namespace torv::test
