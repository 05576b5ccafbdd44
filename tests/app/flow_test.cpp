// The mission flow against a real site on 127.0.0.1 and real folders: every line and its order.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QStringList>
#include <memory>

#include "app/MissionFlow.h"
#include "app/MissionFlowSteps.h"
#include "app/recorders.h"
#include "common/TokenList.h"
#include "platform/Profile.h"
#include "platform/WineRegistry.h"
#include "settings/LauncherSettings.h"
#include "support/http_server.h"
#include "support/temp_dir.h"

namespace torv {
namespace {

using test::HttpServer;
using test::RecordingStarter;
using test::Reply;
using test::TempDir;

class FlowTest : public testing::Test {
protected:
    FlowTest()
        : m_gameFolder(QString::fromStdString(m_dir.path()) + "/Descent 3/"),
          m_profile(QString::fromStdString(m_dir.file("config/torv.ini"))),
          m_registry(QString::fromStdString(m_dir.file("wineprefix"))) {
        QDir().mkpath(m_gameFolder + "missions");
        EXPECT_TRUE(QFile(m_gameFolder + "main.exe").open(QIODevice::WriteOnly));
        m_profile.writeString("settings", "D3 Executable Path", m_gameFolder);
    }

    void addSite(const std::string& url) {
        m_profile.writeString("MissionSites", QStringLiteral("URL%1").arg(++m_sites),
                              QString::fromStdString(url));
    }

    FlowResult run(QStringList argv) {
        std::vector<QByteArray> bytes;
        std::vector<const char*> pointers;
        for (const QString& arg : argv) {
            pointers.push_back(bytes.emplace_back(arg.toLocal8Bit()).constData());
        }
        m_args.Fill(int(pointers.size()), pointers.data());
        m_settings = std::make_unique<CLauncherSettings>(m_profile, m_registry);
        MissionFlowSteps steps(m_log, *m_settings, m_args, m_starter);
        MissionFlow flow(m_log, *m_settings, m_args, steps);
        return flow.Run();
    }

    TempDir m_dir;
    HttpServer m_server;
    QString m_gameFolder;
    platform::Profile m_profile;
    platform::WineRegistry m_registry;
    int m_sites = 0;
    CTokenList m_args;
    std::unique_ptr<CLauncherSettings> m_settings;
    test::RecordingLog m_log;
    RecordingStarter m_starter;
};

const QString kTool = "/usr/local/bin/torv";

// The mission's name is taken from any form of the argument and encoded once, by the flow; the
// site's own text may hold a blank.
TEST_F(FlowTest, MissionNameIsTakenFromAnyFormOfTheArgumentAndEncodedInTheUrl) {
    addSite(m_server.url("/m s/"));
    EXPECT_EQ(run({kTool, "-getmission", "C:\\Missions\\Bl\u00e4h#1 %.mn3"}), FlowResult::Failed);
    ASSERT_TRUE(m_server.waitForRequests(1, 5000));
    EXPECT_EQ(m_server.requests()[0].path, "/m%20s/Bl%C3%A4h%231%20%25.zip");
}

enum class Setup { OneSite, NoSite, StartFails };

struct EarlyEnd {
    const char* name;
    Setup setup;
    QStringList arguments;
    QStringList lines;  // after the banner
    FlowResult result;
};

class FlowEarlyEndTest : public FlowTest, public testing::WithParamInterface<EarlyEnd> {};

TEST_P(FlowEarlyEndTest, LogsItsLinesAndStartsNothingUnasked) {
    const EarlyEnd& c = GetParam();
    if (c.setup != Setup::NoSite) {
        addSite(m_server.url("/empty/"));
    }
    if (c.setup == Setup::StartFails) {
        m_starter.failWith = "No such file or directory";
    }
    EXPECT_EQ(run(QStringList{kTool} + c.arguments), c.result);
    const QStringList lines = QStringList(c.lines).replaceInStrings("$GAME", m_gameFolder);
    EXPECT_EQ(m_log.lines, QStringList{"Torvane Auto-download Tool by Quillfen."} + lines);
    EXPECT_TRUE(m_server.requests().empty());
    EXPECT_EQ(m_starter.calls.size(), lines.count("Launching D3..."));
}

const QString kPath = "D3 Path is [$GAME].";
const QStringList kUsage = {
    kPath, "ERROR: -getmission must be followed by a mission name.",
    "Usage: TORV -getmission <mission> [-rund3] [<d3 args>]",
    "Example: TORV -getmission btc.mn3 -rund3 -directip 192.168.0.100 -nointro -launched"};
const QString kNoGetMission = "WARNING: -getmission arg not found, no mission downloaded...";

// clang-format off
INSTANTIATE_TEST_SUITE_P(CommandLines, FlowEarlyEndTest, testing::Values(
    EarlyEnd{"GetMissionWithoutName", Setup::OneSite, {"-getmission"}, kUsage, FlowResult::Failed},
    EarlyEnd{"GetMissionFollowedByOption", Setup::OneSite, {"-getmission", "-rund3"}, kUsage, FlowResult::Failed},
    // A name that reduces to "." would fetch "<site>..zip".
    EarlyEnd{"ParentFolder", Setup::OneSite, {"-getmission", "a/.."}, kUsage, FlowResult::Failed},
    EarlyEnd{"NoGetMissionStillLaunches", Setup::OneSite, {"-rund3", "-nointro"},
             {kPath, kNoGetMission, "D3 CMD LINE: [$GAMEmain.exe -nointro -launched]", "Launching D3..."}, FlowResult::Done},
    EarlyEnd{"NoGetMissionNoRunD3", Setup::OneSite, {"-nointro"},
             {kPath, kNoGetMission, "D3 CMD LINE: [$GAMEmain.exe -nointro -launched]", "The -rund3 paramter was not present. D3 will not be run."}, FlowResult::Done},
    EarlyEnd{"SecondRunD3AndLaunchedPassOnce", Setup::OneSite, {"/RUND3", "-launched", "-rund3", "-Launched"},
             {kPath, kNoGetMission, "D3 CMD LINE: [$GAMEmain.exe -launched -rund3 -Launched]", "Launching D3..."}, FlowResult::Done},
    EarlyEnd{"EmptySiteList", Setup::NoSite, {"-getmission", "btc", "-rund3"}, {kPath, "ERROR: Mission was not found on any configured sites."}, FlowResult::Failed},
    EarlyEnd{"GameThatCannotStart", Setup::StartFails, {"-rund3"},
             {kPath, kNoGetMission, "D3 CMD LINE: [$GAMEmain.exe -launched]", "Launching D3...", "ERROR: Unable to start D3: [No such file or directory]."}, FlowResult::Failed}),
    test::kByName);
// clang-format on

}  // namespace
}  // namespace torv
