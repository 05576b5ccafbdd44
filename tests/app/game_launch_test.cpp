// Which program the launch starts, how, and what the log says, for each way of running the game.
#include "app/GameLaunch.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <vector>

#include "app/GameStarter.h"
#include "app/recording_log.h"
#include "common/TokenList.h"
#include "platform/Profile.h"
#include "platform/WineRegistry.h"
#include "settings/LauncherSettings.h"
#include "support/steam_fixture.h"
#include "support/temp_dir.h"

namespace torv {
namespace {

enum class How { Wait, Replace, Detached };

class RecordingStarter : public GameStarter {
public:
    bool RunAndWait(const QString& folder, const QString& executable, const QStringList& arguments,
                    QString&) override {
        return record(How::Wait, folder, executable, arguments);
    }
    bool StartDetached(const QString& folder, const QString& executable,
                       const QStringList& arguments, QString&) override {
        return record(How::Detached, folder, executable, arguments);
    }
    bool ReplaceProcess(const QString& folder, const QString& executable,
                        const QStringList& arguments, QString&) override {
        return record(How::Replace, folder, executable, arguments);
    }
    bool record(How how, const QString& folder, const QString& executable,
                const QStringList& arguments) {
        ++calls;
        this->how = how;
        this->folder = folder;
        this->executable = executable;
        this->arguments = arguments;
        return true;
    }

    int calls = 0;
    How how = How::Wait;
    QString folder;
    QString executable;
    QStringList arguments;
};

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
    QDir().mkpath(root + "/bin");
    const QByteArray savedPath = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(root + "/bin"));

    platform::Profile profile(root + "/torv.ini");
    profile.writeString("settings", "D3 Executable Path", game);
    profile.writeInt("settings", "Keep Alive", row.keepAlive ? 1 : 0);
    const platform::WineRegistry registry(root + "/prefix");
    CLauncherSettings settings(profile, registry);
    const char* argv[] = {"/usr/bin/torv", "-getmission", "x", "-rund3", "-nointro"};
    CTokenList args;
    args.Fill(5, argv);
    test::RecordingLog log;
    RecordingStarter starter;

    const LaunchOutcome outcome = LaunchGame(log, args, 1, settings, starter);
    qputenv("PATH", savedPath);

    EXPECT_EQ(outcome, LaunchOutcome::Started);
    EXPECT_EQ(starter.calls, 1);
    EXPECT_EQ(starter.how, row.how);
    EXPECT_EQ(starter.folder, game);
    const QString started = QString::fromLatin1(row.started);
    QStringList lines = {"D3 CMD LINE: [" + game + (started == "steam" ? "main.exe" : started) +
                             " -nointro -launched]",
                         "Launching D3..."};
    if (started == "steam") {
        EXPECT_EQ(starter.executable, steam);
        EXPECT_EQ(starter.arguments,
                  QStringList({steam, "-applaunch", "273590", "-nointro", "-launched"}));
        lines.append("Steam starts D3: [" + steam + " -applaunch 273590 -nointro -launched]");
        if (row.keepAlive) {
            lines.append("WARNING: Keep Alive cannot wait for a game that Steam starts.");
        }
    } else {
        EXPECT_EQ(starter.executable, game + started);
        EXPECT_EQ(starter.arguments, QStringList({"/usr/bin/torv", "-nointro", "-launched"}));
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
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

}  // namespace
}  // namespace torv
