#include "settings/LauncherSettings.h"

#include <gtest/gtest.h>

#include <QDir>
#include <vector>

#include "res/Version.h"
#include "settings/settings_fixture.h"
#include "support/steam_fixture.h"

namespace torv::test {
namespace {

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
    std::vector<QString> files;  // under drive_c, "/" at the end for a folder
    QStringList steamGame;       // files in a Steam install of the game; none and !proton: no Steam
    bool proton;                 // the install's Proton prefix names C:\ProtonD3, holding main.exe
    QString expected;            // "@c/" for drive C:, "@steam/", "@proton/"; null: "not found"
};

// Discovery asks the Wine prefix's registry first, then the Steam install, then its Proton prefix.
TEST(LauncherSettings, StoredGameFolderStaysUnlessInvalidAndADiscoveredOneIsStoredAtOnce) {
    // clang-format off
    const DiscoveryRow rows[] = {
        {"PathWithoutTrailingBackslash", nullptr, AppPaths("C:\\\\Games\\\\Descent3"), {"Games/Descent3/MAIN.EXE"}, {}, false, "@c/Games/Descent3/"},
        {"PathWithTrailingBackslash", nullptr, AppPaths("C:\\\\Games\\\\Descent3\\\\"), {"Games/Descent3/descent3.EXE"}, {}, false, "@c/Games/Descent3/"},
        {"PathWithoutGameFallsToBaseDirectory", nullptr, AppPaths("C:\\\\Games\\\\Empty") + Outrage("C:\\\\Outrage\\\\D3"), {"Outrage/D3/Descent3", "Games/Empty/sub/main.exe", "Games/Empty/game.exe", "Games/Empty/main.exe/", "Games/Empty/Descent3/", "Games/Empty/Descent3.hog"}, {}, false, "@c/Outrage/D3/"},
        {"OnlyBaseDirectory", nullptr, Outrage("C:\\\\Outrage\\\\D3\\\\"), {"Outrage/D3/main.exe"}, {}, false, "@c/Outrage/D3/"},
        {"PathWinsOverBaseDirectory", "/nowhere/", AppPaths("C:\\\\First") + Outrage("C:\\\\Second"), {"First/main.exe", "Second/main.exe"}, {}, false, "@c/First/"},
        {"ValidStoredFolderWins", "@c/Stored", AppPaths("C:\\\\First"), {"First/main.exe", "Stored/main.exe"}, {}, false, "@c/Stored"},
        {"ThirtyTwoBitViewFirst", nullptr, AppPaths("C:\\\\Native") + AppPaths("C:\\\\ThirtyTwo", true), {"Native/main.exe", "ThirtyTwo/main.exe"}, {}, false, "@c/ThirtyTwo/"},
        {"LongestUsableValue", nullptr, AppPaths("C:\\\\" + kLongName), {kLongName + "/main.exe"}, {}, false, "@c/" + kLongName + "/"},
        {"ValueTooLongToBeAPath", nullptr, AppPaths("C:\\\\" + kLongName + "\\\\") + Outrage("C:\\\\Outrage"), {kLongName + "/main.exe", "Outrage/main.exe"}, {}, false, "@c/Outrage/"},
        {"DriveWithoutLinkIsSkipped", nullptr, AppPaths("Q:\\\\Games\\\\Descent3") + Outrage("C:\\\\Games\\\\Descent3"), {"Games/Descent3/main.exe"}, {}, false, "@c/Games/Descent3/"},
        {"NeitherKey", nullptr, "", {"Games/Descent3/main.exe"}, {}, false, QString()},
        {"NoFolderHoldsTheGame", "/nowhere/", AppPaths("C:\\\\Games\\\\Descent3") + Outrage("C:\\\\Outrage"), {}, {}, false, QString()},
        {"WinePrefixBeforeSteam", nullptr, Outrage("C:\\\\Games\\\\D3"), {"Games/D3/main.exe"}, {"main.exe"}, true, "@c/Games/D3/"},
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
        for (const QString& file : row.files) {
            if (file.endsWith('/')) {
                sandbox.prefix.makeFolder("prefix/drive_c/" + file);
            } else {
                sandbox.gameFile(file);
            }
        }
        sandbox.prefix.writeSystemReg(row.systemReg);
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
            return text.replace("@c", QDir(sandbox.prefix.driveC()).canonicalPath())
                .replace("@steam", QDir(library).canonicalPath() + "/steamapps/common/Descent 3")
                .replace("@proton", QDir(steam.path("proton_c")).canonicalPath() + "/ProtonD3");
        };
        if (row.stored != nullptr) {
            sandbox.seedIni("[settings]\nD3 Executable Path=" + place(row.stored) + "\n");
        }
        const QString iniBefore = sandbox.iniText();
        const QString expected = row.expected.isNull() ? place(row.stored) : place(row.expected);
        EXPECT_EQ(CLauncherSettings(sandbox.profile, sandbox.registry).GetGameFolder(), expected);
        // A discovered folder is stored at once: a cancelled dialog does not lose it.
        EXPECT_EQ(sandbox.iniText(), row.expected.isNull()
                                         ? iniBefore
                                         : "[settings]\nD3 Executable Path=" + expected + "\n");
    }
}

// Sites are read in file order, each ending in a slash; a shorter list replaces a longer one
// whole; Keep Alive is read and saved as 0 or 1.
TEST(LauncherSettings, SaveWritesTheFileAUserExpects) {
    SettingsFixture sandbox;
    sandbox.seedIni(
        "[settings]\nKeep Alive=5\n\n[MissionSites]\nURL3=http://c.example/levels\n"
        "URL1=http://a.example/\nURL2=\nURL4=  http://d.example/x  \n\n[other]\nkept=yes\n");
    CLauncherSettings settings(sandbox.profile, sandbox.registry);
    EXPECT_TRUE(settings.IsFirstRun());
    EXPECT_EQ(settings.GetKeepAlive(), 1);
    ASSERT_EQ(settings.GetSiteCount(), 4);
    const QString sites[] = {"http://c.example/levels/", "http://a.example/", "/",
                             "http://d.example/x/", ""};
    for (int i = -1; i < 5; ++i) {
        EXPECT_EQ(settings.GetSite(i), sites[i < 0 ? 4 : i]) << i;
    }
    settings.SetGameFolder("/games/descent3/");
    settings.ClearSites();
    settings.AddSite("http://one.example/missions/");
    settings.AddSite("http://two.example/d3");
    EXPECT_TRUE(settings.Save());
    EXPECT_EQ(sandbox.iniText(),
              "[settings]\nKeep Alive=1\nVersion=" + QString(res::kVersionText) +
                  "\nD3 Executable Path=/games/descent3/\n\n[other]\nkept=yes\n\n"
                  "[MissionSites]\nURL1=http://one.example/missions/\n"
                  "URL2=http://two.example/d3\n");

    CLauncherSettings nextRun(sandbox.profile, sandbox.registry);
    EXPECT_FALSE(nextRun.IsFirstRun()) << "asked before anything else loaded the file";
}

}  // namespace
}  // namespace torv::test
