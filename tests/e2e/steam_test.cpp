// The torv binary with no game folder in its settings, for a player whose game Steam installed:
// the mission lands in that install and Steam (or, without Steam, the native engine) starts.
#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>
#include <QProcessEnvironment>

#include "support/http_server.h"
#include "support/steam_fixture.h"
#include "support/temp_dir.h"
#include "support/zip_builder.h"

namespace {

using torv::test::HttpServer;
using torv::test::Reply;
using torv::test::SteamFixture;

struct SteamRun {
    const char* name;
    bool steamOnPath;
    const char* record;  // the file the started program writes, relative to the sandbox
    const char* recorded;
};

class SteamSetup : public ::testing::TestWithParam<SteamRun> {};

TEST_P(SteamSetup, FetchesIntoTheSteamInstallAndStartsTheGame) {
    torv::test::TempDir dir;
    const QString root = QString::fromStdString(dir.path());
    const QString steamRoot = root + "/home/.local/share/Steam";
    const QString library = root + "/games/SteamLibrary";
    SteamFixture::writeLibraries(steamRoot, {steamRoot, library}, 1);
    const QString game = SteamFixture::installGame(library, "Descent 3", {"main.exe", "Descent3"});
    if (GetParam().steamOnPath) {
        SteamFixture::writeRecorder(root + "/bin/steam", root + "/steam-args.txt");
    }
    HttpServer server;
    torv::test::ZipBuilder zip;
    zip.add("x.mn3", "mission");
    server.route("/m/x.zip", Reply(200, "OK", zip.build()));
    SteamFixture::write(root + "/config/Quillfen/torv.ini",
                        "[MissionSites]\nURL1=" + QString::fromStdString(server.url("/m/")) + "\n");

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        env.remove(name);
    }
    env.insert("XDG_CONFIG_HOME", root + "/config");
    env.insert("WINEPREFIX", root + "/prefix");
    env.insert("HOME", root + "/home");
    env.insert("PATH", root + "/bin:/usr/bin:/bin");
    QProcess torv;
    torv.setProcessEnvironment(env);
    torv.start(QStringLiteral(TORV_BINARY), {"-getmission", "x", "-rund3"});
    ASSERT_TRUE(torv.waitForFinished(60000));
    const QString out = QString::fromUtf8(torv.readAllStandardOutput());

    EXPECT_EQ(torv.exitCode(), 0) << out.toStdString();
    EXPECT_TRUE(out.contains("D3 Path is [" + game + "].")) << out.toStdString();
    EXPECT_EQ(SteamFixture::read(game + "missions/x.mn3"), "mission");
    EXPECT_EQ(SteamFixture::read(root + "/" + GetParam().record), GetParam().recorded);
    EXPECT_TRUE(SteamFixture::read(root + "/config/Quillfen/torv.ini")
                    .contains("D3 Executable Path=" + game));
}

INSTANTIATE_TEST_SUITE_P(
    Starts, SteamSetup,
    ::testing::Values(
        SteamRun{"ThroughSteam", true, "steam-args.txt", "-applaunch\n273590\n-launched\n"},
        SteamRun{"NativeEngineWithoutSteam", false,
                 "games/SteamLibrary/steamapps/common/Descent 3/Descent3.args", "-launched\n"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
