// Which program the launch starts, how, and what the log says, for each way of running the game.
#include "app/GameLaunch.h"

#include <gtest/gtest.h>

#include <QFile>
#include <vector>

#include "app/recorders.h"
#include "common/TokenList.h"
#include "platform/Profile.h"
#include "platform/WineRegistry.h"
#include "settings/LauncherSettings.h"
#include "support/steam_fixture.h"
#include "support/temp_dir.h"

namespace torv {
namespace {

using How = test::RecordingStarter::How;

struct LaunchRow {
    const char* name;
    QStringList files;  // in the game folder
    bool steamLibrary;  // the game folder lies in a Steam library
    bool steamOnPath;
    bool keepAlive;
    How how;
    const char* started;  // the file in the game folder, or "steam"
};

class LaunchKinds : public ::testing::TestWithParam<LaunchRow> {};

TEST_P(LaunchKinds, StartsThePreferredProgramTheWayItRuns) {
    const LaunchRow& row = GetParam();
    test::TempDir dir;
    const QString root = QString::fromStdString(dir.path());
    const QString game = root + (row.steamLibrary ? "/lib/steamapps/common/Descent 3/" : "/D3/");
    for (const QString& file : row.files) {
        test::SteamFixture::write(game + file, "#!/bin/sh\n");
    }
    const QString steam = root + "/bin/steam";
    if (row.steamOnPath) {
        test::SteamFixture::writeRecorder(steam, root + "/steam-args.txt");
    }
    const QByteArray savedPath = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(root + "/bin"));

    platform::Profile profile(root + "/torv.ini");
    profile.writeString("settings", "D3 Executable Path", game);
    profile.writeString("settings", "Keep Alive", row.keepAlive ? "1" : "0");
    const platform::WineRegistry registry(root + "/prefix");
    CLauncherSettings settings(profile, registry);
    const char* argv[] = {"/usr/bin/torv", "-getmission", "x", "-rund3", "-nointro"};
    CTokenList args;
    args.Fill(5, argv);
    test::RecordingLog log;
    test::RecordingStarter starter;

    const LaunchOutcome outcome = LaunchGame(log, args, 1, settings, starter);
    qputenv("PATH", savedPath);

    EXPECT_EQ(outcome, LaunchOutcome::Started);
    ASSERT_EQ(starter.calls.size(), 1u);
    const auto& call = starter.calls[0];
    EXPECT_EQ(call.how, row.how);
    EXPECT_EQ(call.folder, game);
    const bool viaSteam = QString(row.started) == "steam";
    EXPECT_EQ(call.executable, viaSteam ? steam : game + row.started);
    EXPECT_EQ(call.arguments,
              viaSteam ? QStringList({steam, "-applaunch", "273590", "-nointro", "-launched"})
                       : QStringList({"/usr/bin/torv", "-nointro", "-launched"}));
    QStringList lines = {
        "D3 CMD LINE: [" + game + (viaSteam ? "main.exe" : row.started) + " -nointro -launched]",
        "Launching D3..."};
    if (viaSteam) {
        lines << "Steam starts D3: [" + steam + " -applaunch 273590 -nointro -launched]";
    }
    if (viaSteam && row.keepAlive) {
        lines << "WARNING: Keep Alive cannot wait for a game that Steam starts.";
    }
    EXPECT_EQ(log.lines, lines);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Games, LaunchKinds,
    ::testing::Values(
        //        name                            files in the game folder     library steamOnPath keepAlive how        started
        LaunchRow{"NativeEngineBesideRetail",     {"main.exe", "Descent3"},     false, false, false, How::Replace,  "Descent3"},
        LaunchRow{"RetailBeforeWindowsEngine",    {"Descent3.exe", "MAIN.EXE"}, false, false, true,  How::Wait,     "MAIN.EXE"},
        LaunchRow{"WindowsEngineOnly",            {"descent3.exe"},             false, false, false, How::Replace,  "descent3.exe"},
        LaunchRow{"SteamOnPathButNoSteamLibrary", {"main.exe"},                 false, true,  false, How::Replace,  "main.exe"},
        LaunchRow{"SteamLibraryThroughSteam",     {"main.exe"},                 true,  true,  false, How::Replace,  "steam"},
        LaunchRow{"SteamLibraryWithKeepAlive",    {"main.exe"},                 true,  true,  true,  How::Detached, "steam"},
        LaunchRow{"SteamLibraryWithoutSteam",     {"main.exe"},                 true,  false, true,  How::Wait,     "main.exe"}),
    test::kByName);
// clang-format on

}  // namespace
}  // namespace torv
