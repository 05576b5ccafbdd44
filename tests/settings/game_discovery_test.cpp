#include "settings/GameDiscovery.h"
#include "settings/LauncherSettings.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <vector>

#include "settings/settings_fixture.h"
#include "support/steam_fixture.h"

namespace {

using torv::test::SettingsFixture;
using torv::test::SteamFixture;
using torv::test::WinePrefixFixture;

// A registry key naming a Windows folder (Wine-escaped), in the 32-bit view when wow64.
QString AppPaths(const QString& folder, bool wow64 = false) {
    return QStringLiteral(
               "[Software\\\\%1Microsoft\\\\Windows\\\\CurrentVersion\\\\App Paths\\\\"
               "Descent 3.Exe] 1700000000\n@=\"%2main.exe\"\n\"Path\"=\"%2\"\n\n")
        .arg(wow64 ? "Wow6432Node\\\\" : "", folder);
}
QString Outrage(const QString& folder) {
    return QStringLiteral(
               "[Software\\\\Outrage\\\\Descent3] 1700000000\n"
               "\"BaseDirectory\"=\"%1\"\n\"Version\"=dword:00000001\n\n")
        .arg(folder);
}

// A folder name as long as a name can be; with "C:\" in front, the longest usable value.
const QString kLongName(255, QLatin1Char('a'));

struct DiscoveryRow {
    const char* name;
    const char* stored;  // the folder the settings name, "@c/" for drive C:; nullptr: none
    QString systemReg;
    std::vector<QString> games;  // folders under drive_c holding main.exe
    QStringList steamGame;       // files in a Steam install of the game; none and !proton: no Steam
    bool proton;                 // the install's Proton prefix names C:\ProtonD3, holding main.exe
    QString expected;            // "@c/" for drive C:, "@steam/", "@proton/"; null: "not found"
};

// Discovery asks the Wine prefix's registry first, then the Steam install, then its Proton prefix.
TEST(GameFolder, StoredOneStaysUnlessInvalidAndAnotherIsFoundWhichIsStoredAtOnce) {
    // clang-format off
    const DiscoveryRow rows[] = {
        {"PathWithoutTrailingBackslash", nullptr, AppPaths("C:\\\\Games\\\\Descent3"), {"Games/Descent3"}, {}, false, "@c/Games/Descent3/"},
        {"PathWithTrailingBackslash", nullptr, AppPaths("C:\\\\Games\\\\Descent3\\\\"), {"Games/Descent3"}, {}, false, "@c/Games/Descent3/"},
        {"PathWithoutGameFallsToBaseDirectory", nullptr, AppPaths("C:\\\\Games\\\\Empty") + Outrage("C:\\\\Outrage\\\\D3"), {"Outrage/D3", "Games/Empty/sub"}, {}, false, "@c/Outrage/D3/"},
        {"OnlyBaseDirectory", nullptr, Outrage("C:\\\\Outrage\\\\D3\\\\"), {"Outrage/D3"}, {}, false, "@c/Outrage/D3/"},
        {"PathWinsOverBaseDirectory", "/nowhere/", AppPaths("C:\\\\First") + Outrage("C:\\\\Second"), {"First", "Second"}, {}, false, "@c/First/"},
        {"ValidStoredFolderWins", "@c/Stored/", AppPaths("C:\\\\First"), {"First", "Stored"}, {}, false, "@c/Stored/"},
        {"ThirtyTwoBitViewFirst", nullptr, AppPaths("C:\\\\Native") + AppPaths("C:\\\\ThirtyTwo", true), {"Native", "ThirtyTwo"}, {}, false, "@c/ThirtyTwo/"},
        {"LongestUsableValue", nullptr, AppPaths("C:\\\\" + kLongName), {kLongName}, {}, false, "@c/" + kLongName + "/"},
        {"ValueTooLongToBeAPath", nullptr, AppPaths("C:\\\\" + kLongName + "\\\\") + Outrage("C:\\\\Outrage"), {kLongName, "Outrage"}, {}, false, "@c/Outrage/"},
        {"DriveWithoutLinkIsSkipped", nullptr, AppPaths("Q:\\\\Games\\\\Descent3") + Outrage("C:\\\\Games\\\\Descent3"), {"Games/Descent3"}, {}, false, "@c/Games/Descent3/"},
        {"NeitherKey", nullptr, "", {"Games/Descent3"}, {}, false, QString()},
        {"NoFolderHoldsTheGame", "/nowhere/", AppPaths("C:\\\\Games\\\\Descent3") + Outrage("C:\\\\Outrage"), {}, {}, false, QString()},
        {"WinePrefixBeforeSteam", nullptr, Outrage("C:\\\\Games\\\\D3"), {"Games/D3"}, {"main.exe"}, true, "@c/Games/D3/"},
        {"SteamInstallBeforeItsProtonPrefix", nullptr, "", {}, {"main.exe"}, true, "@steam/"},
        {"WinePrefixNamingNoGameThenSteam", nullptr, Outrage("C:\\\\Games\\\\D3"), {}, {"Descent3"}, false, "@steam/"},
        {"ProtonPrefixWhenTheInstallHoldsNoGame", nullptr, "", {}, {}, true, "@proton/"},
        {"SteamInstallWithoutTheGame", "@c/Stored/", "", {}, {"readme.txt"}, false, QString()},
    };
    // clang-format on
    for (const DiscoveryRow& row : rows) {
        SCOPED_TRACE(row.name);
        SettingsFixture sandbox;
        SteamFixture steam;
        for (const QString& game : row.games) {
            sandbox.gameFolder(game);
        }
        sandbox.prefix().writeSystemReg(row.systemReg);
        const QString library = steam.path("lib");
        if (!row.steamGame.isEmpty() || row.proton) {
            SteamFixture::writeLibraries(steam.nativeRoot(), {steam.nativeRoot(), library}, 1);
            SteamFixture::installGame(library, "Descent 3", row.steamGame);
        }
        if (row.proton) {
            SteamFixture::write(steam.path("proton_c/ProtonD3/main.exe"), "MZ");
            SteamFixture::writeProtonPrefix(library, steam.path("proton_c"), "ProtonD3");
        }
        const auto place = [&](QString text) {
            return text.replace("@c", QDir(sandbox.prefix().driveC()).canonicalPath())
                .replace("@steam", QDir(library).canonicalPath() + "/steamapps/common/Descent 3")
                .replace("@proton", QDir(steam.path("proton_c")).canonicalPath() + "/ProtonD3");
        };
        if (row.stored != nullptr) {
            sandbox.seedIni("[settings]\nD3 Executable Path=" + place(row.stored) + "\n");
        }
        const QString iniBefore = sandbox.iniText();
        const QString expected = row.expected.isNull() ? place(row.stored) : place(row.expected);
        EXPECT_EQ(torv::CLauncherSettings(sandbox.profile(), sandbox.registry()).GetGameFolder(),
                  expected);
        // A discovered folder is stored at once: a cancelled dialog does not lose it.
        EXPECT_EQ(sandbox.iniText(), row.expected.isNull()
                                         ? iniBefore
                                         : "[settings]\nD3 Executable Path=" + expected + "\n");
        EXPECT_EQ(QFile::exists(sandbox.profile().filePath()), !expected.isEmpty());
    }
}

// Tried with and without the folder's trailing slash.
TEST(IsValidGameFolder, NeedsAReadableGameExecutableInAnyLetterCase) {
    // The folder's one entry ("/" at the end for a folder) and whether it makes a game folder.
    const std::pair<const char*, bool> rows[] = {
        {"main.exe", true},  {"MAIN.EXE", true},   {"Descent3", true},   {"descent3.EXE", true},
        {"game.exe", false}, {"main.exe/", false}, {"Descent3/", false}, {"Descent3.hog", false},
    };
    for (const auto& [entry, valid] : rows) {
        SettingsFixture sandbox;
        const QString folder = sandbox.gameFolder("Game", "");
        if (QString(entry).endsWith('/')) {
            QDir(folder).mkdir(entry);
        } else {
            WinePrefixFixture::write(folder + entry, QByteArray("MZ"));
        }
        EXPECT_EQ(torv::IsValidGameFolder(folder), valid) << entry;
        EXPECT_EQ(torv::IsValidGameFolder(folder.chopped(1)), valid) << entry;
    }
}

}  // namespace
