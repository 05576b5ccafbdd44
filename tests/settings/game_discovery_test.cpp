#include "settings/GameDiscovery.h"

#include <gtest/gtest.h>

#include <QDir>
#include <vector>

#include "settings/settings_fixture.h"

namespace {

using torv::test::SettingsFixture;
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
    QString systemReg;
    std::vector<QString> games;  // folders under drive_c holding main.exe
    QString expected;            // folder under drive_c; null for "not found"
};

class DiscoverGameFolder : public ::testing::TestWithParam<DiscoveryRow> {};

TEST_P(DiscoverGameFolder, FindsTheFirstValidFolderTheGameRegistered) {
    SettingsFixture sandbox;
    for (const QString& game : GetParam().games) {
        sandbox.gameFolder(game);
    }
    sandbox.prefix().writeSystemReg(GetParam().systemReg);

    QString folder = QStringLiteral("earlier text");
    const bool found = torv::DiscoverGameFolder(sandbox.registry(), folder);
    if (GetParam().expected.isNull()) {
        EXPECT_FALSE(found);
        EXPECT_EQ(folder, QStringLiteral("earlier text"));
    } else {
        EXPECT_TRUE(found);
        EXPECT_EQ(folder,
                  QDir(sandbox.prefix().driveC()).canonicalPath() + "/" + GetParam().expected);
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Registry, DiscoverGameFolder,
    ::testing::Values(
        DiscoveryRow{"PathWithoutTrailingBackslash", AppPaths("C:\\\\Games\\\\Descent3"), {"Games/Descent3"}, "Games/Descent3/"},
        DiscoveryRow{"PathWithTrailingBackslash", AppPaths("C:\\\\Games\\\\Descent3\\\\"), {"Games/Descent3"}, "Games/Descent3/"},
        DiscoveryRow{"PathWithoutGameFallsToBaseDirectory", AppPaths("C:\\\\Games\\\\Empty") + Outrage("C:\\\\Outrage\\\\D3"), {"Outrage/D3", "Games/Empty/sub"}, "Outrage/D3/"},
        DiscoveryRow{"OnlyBaseDirectory", Outrage("C:\\\\Outrage\\\\D3\\\\"), {"Outrage/D3"}, "Outrage/D3/"},
        DiscoveryRow{"PathWinsOverBaseDirectory", AppPaths("C:\\\\First") + Outrage("C:\\\\Second"), {"First", "Second"}, "First/"},
        DiscoveryRow{"ThirtyTwoBitViewFirst", AppPaths("C:\\\\Native") + AppPaths("C:\\\\ThirtyTwo", true), {"Native", "ThirtyTwo"}, "ThirtyTwo/"},
        DiscoveryRow{"LongestUsableValue", AppPaths("C:\\\\" + kLongName), {kLongName}, kLongName + "/"},
        DiscoveryRow{"ValueTooLongToBeAPath", AppPaths("C:\\\\" + kLongName + "\\\\") + Outrage("C:\\\\Outrage"), {kLongName, "Outrage"}, "Outrage/"},
        DiscoveryRow{"DriveWithoutLinkIsSkipped", AppPaths("Q:\\\\Games\\\\Descent3") + Outrage("C:\\\\Games\\\\Descent3"), {"Games/Descent3"}, "Games/Descent3/"},
        DiscoveryRow{"NeitherKey", "", {"Games/Descent3"}, QString()},
        DiscoveryRow{"NoFolderHoldsTheGame", AppPaths("C:\\\\Games\\\\Descent3") + Outrage("C:\\\\Outrage"), {}, QString()}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

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
