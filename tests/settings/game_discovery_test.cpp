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

TEST(DiscoverGameFolder, FindsTheFirstValidFolderTheGameRegistered) {
    // clang-format off
    const DiscoveryRow rows[] = {
        {"PathWithoutTrailingBackslash", AppPaths("C:\\\\Games\\\\Descent3"), {"Games/Descent3"}, "Games/Descent3/"},
        {"PathWithTrailingBackslash", AppPaths("C:\\\\Games\\\\Descent3\\\\"), {"Games/Descent3"}, "Games/Descent3/"},
        {"PathWithoutGameFallsToBaseDirectory", AppPaths("C:\\\\Games\\\\Empty") + Outrage("C:\\\\Outrage\\\\D3"), {"Outrage/D3", "Games/Empty/sub"}, "Outrage/D3/"},
        {"OnlyBaseDirectory", Outrage("C:\\\\Outrage\\\\D3\\\\"), {"Outrage/D3"}, "Outrage/D3/"},
        {"PathWinsOverBaseDirectory", AppPaths("C:\\\\First") + Outrage("C:\\\\Second"), {"First", "Second"}, "First/"},
        {"ThirtyTwoBitViewFirst", AppPaths("C:\\\\Native") + AppPaths("C:\\\\ThirtyTwo", true), {"Native", "ThirtyTwo"}, "ThirtyTwo/"},
        {"LongestUsableValue", AppPaths("C:\\\\" + kLongName), {kLongName}, kLongName + "/"},
        {"ValueTooLongToBeAPath", AppPaths("C:\\\\" + kLongName + "\\\\") + Outrage("C:\\\\Outrage"), {kLongName, "Outrage"}, "Outrage/"},
        {"DriveWithoutLinkIsSkipped", AppPaths("Q:\\\\Games\\\\Descent3") + Outrage("C:\\\\Games\\\\Descent3"), {"Games/Descent3"}, "Games/Descent3/"},
        {"NeitherKey", "", {"Games/Descent3"}, QString()},
        {"NoFolderHoldsTheGame", AppPaths("C:\\\\Games\\\\Descent3") + Outrage("C:\\\\Outrage"), {}, QString()},
    };
    // clang-format on
    for (const DiscoveryRow& row : rows) {
        SCOPED_TRACE(row.name);
        SettingsFixture sandbox;
        for (const QString& game : row.games) {
            sandbox.gameFolder(game);
        }
        sandbox.prefix().writeSystemReg(row.systemReg);
        QString folder = QStringLiteral("earlier text");
        EXPECT_EQ(torv::DiscoverGameFolder(sandbox.registry(), folder), !row.expected.isNull());
        EXPECT_EQ(folder, row.expected.isNull() ? QStringLiteral("earlier text")
                                                : QDir(sandbox.prefix().driveC()).canonicalPath() +
                                                      "/" + row.expected);
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
