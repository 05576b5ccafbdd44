#include "settings/GameDiscovery.h"

#include <gtest/gtest.h>

#include <QDir>
#include <vector>

#include "settings/settings_fixture.h"

namespace {

using torv::test::SettingsFixture;
using torv::test::WinePrefixFixture;

const QString kAppPaths = QStringLiteral(
    "[Software\\\\%1Microsoft\\\\Windows\\\\CurrentVersion\\\\App Paths\\\\Descent 3.Exe] "
    "1700000000\n#time=1d9f0b2c3d4e5f6\n@=\"%2main.exe\"\n\"Path\"=\"%2\"\n\n");
const QString kOutrage = QStringLiteral(
    "[Software\\\\%1Outrage\\\\Descent3] 1700000000\n#time=1d9f0b2c3d4e5f6\n"
    "\"BaseDirectory\"=\"%2\"\n\"Version\"=dword:00000001\n\n");

// A folder name as long as a name can be; with "C:\" in front, the longest usable value.
const QString kLongName(255, QLatin1Char('a'));

// One registry entry: which key, in which view, naming which Windows folder (Wine-escaped).
struct Entry {
    const QString& key;
    bool wow64;
    QString folder;
};

struct DiscoveryRow {
    const char* name;
    std::vector<Entry> entries;
    std::vector<QString> games;  // folders under drive_c holding main.exe
    QString expected;            // folder under drive_c; null for "not found"
};

class DiscoverGameFolder : public ::testing::TestWithParam<DiscoveryRow> {};

TEST_P(DiscoverGameFolder, FindsTheFirstValidFolderTheGameRegistered) {
    SettingsFixture sandbox;
    for (const QString& game : GetParam().games) {
        sandbox.gameFolder(game);
    }
    QString body;
    for (const Entry& entry : GetParam().entries) {
        body += entry.key.arg(entry.wow64 ? QStringLiteral("Wow6432Node\\\\") : QString(),
                              entry.folder);
    }
    sandbox.prefix().writeSystemReg(body);

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
        DiscoveryRow{"PathWithoutTrailingBackslash", {{kAppPaths, false, "C:\\\\Games\\\\Descent3"}}, {"Games/Descent3"}, "Games/Descent3/"},
        DiscoveryRow{"PathWithTrailingBackslash", {{kAppPaths, false, "C:\\\\Games\\\\Descent3\\\\"}}, {"Games/Descent3"}, "Games/Descent3/"},
        DiscoveryRow{"PathWithoutGameFallsToBaseDirectory", {{kAppPaths, false, "C:\\\\Games\\\\Empty"}, {kOutrage, false, "C:\\\\Outrage\\\\D3"}}, {"Outrage/D3", "Games/Empty/sub"}, "Outrage/D3/"},
        DiscoveryRow{"OnlyBaseDirectory", {{kOutrage, false, "C:\\\\Outrage\\\\D3\\\\"}}, {"Outrage/D3"}, "Outrage/D3/"},
        DiscoveryRow{"PathWinsOverBaseDirectory", {{kAppPaths, false, "C:\\\\First"}, {kOutrage, false, "C:\\\\Second"}}, {"First", "Second"}, "First/"},
        DiscoveryRow{"ThirtyTwoBitViewFirst", {{kAppPaths, false, "C:\\\\Native"}, {kAppPaths, true, "C:\\\\ThirtyTwo"}}, {"Native", "ThirtyTwo"}, "ThirtyTwo/"},
        DiscoveryRow{"LongestUsableValue", {{kAppPaths, false, "C:\\\\" + kLongName}}, {kLongName}, kLongName + "/"},
        DiscoveryRow{"ValueTooLongToBeAPath", {{kAppPaths, false, "C:\\\\" + kLongName + "\\\\"}, {kOutrage, false, "C:\\\\Outrage"}}, {kLongName, "Outrage"}, "Outrage/"},
        DiscoveryRow{"DriveWithoutLinkIsSkipped", {{kAppPaths, false, "Q:\\\\Games\\\\Descent3"}, {kOutrage, false, "C:\\\\Games\\\\Descent3"}}, {"Games/Descent3"}, "Games/Descent3/"},
        DiscoveryRow{"NeitherKey", {}, {"Games/Descent3"}, QString()},
        DiscoveryRow{"NoFolderHoldsTheGame", {{kAppPaths, false, "C:\\\\Games\\\\Descent3"}, {kOutrage, false, "C:\\\\Outrage"}}, {}, QString()}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

struct ValidRow {
    const char* name;
    const char* exeName;  // file created in the folder; nullptr for none
    bool directoryInstead;
    bool trailingSlash;
    bool expected;
};

class IsValidGameFolder : public ::testing::TestWithParam<ValidRow> {};

TEST_P(IsValidGameFolder, NeedsAReadableGameExecutableInAnyLetterCase) {
    SettingsFixture sandbox;
    QString folder = sandbox.gameFolder("Game", QString());
    if (GetParam().exeName != nullptr) {
        if (GetParam().directoryInstead) {
            QDir(folder).mkdir(GetParam().exeName);
        } else {
            WinePrefixFixture::write(folder + GetParam().exeName, QByteArray("MZ"));
        }
    }
    if (!GetParam().trailingSlash) {
        folder.chop(1);
    }
    EXPECT_EQ(torv::IsValidGameFolder(folder), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Folders, IsValidGameFolder,
    ::testing::Values(ValidRow{"LowerCaseExe", "main.exe", false, true, true},
                      ValidRow{"UpperCaseExe", "MAIN.EXE", false, true, true},
                      ValidRow{"WithoutTrailingSlash", "main.exe", false, false, true},
                      ValidRow{"OtherExecutable", "game.exe", false, true, false},
                      ValidRow{"NoExecutable", nullptr, false, true, false},
                      ValidRow{"FolderNamedMainExe", "main.exe", true, true, false},
                      ValidRow{"NativeEngine", "Descent3", false, true, true},
                      ValidRow{"WindowsEngine", "descent3.EXE", false, false, true},
                      ValidRow{"FolderNamedDescent3", "Descent3", true, true, false},
                      ValidRow{"EngineDataOnly", "Descent3.hog", false, true, false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
