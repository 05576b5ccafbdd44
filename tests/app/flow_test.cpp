// The mission flow against a real site on 127.0.0.1 and real folders: every line and its order.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTimer>
#include <memory>

#include "app/GameStarter.h"
#include "app/MissionFlow.h"
#include "app/MissionFlowSteps.h"
#include "app/MissionLog.h"
#include "app/recording_log.h"
#include "common/TokenList.h"
#include "platform/FolderLock.h"
#include "platform/Profile.h"
#include "platform/WineRegistry.h"
#include "settings/LauncherSettings.h"
#include "support/http_server.h"
#include "support/temp_dir.h"
#include "support/zip_builder.h"

namespace torv {
namespace {

using test::HttpServer;
using test::Reply;
using test::TempDir;
using test::ZipBuilder;

struct StartCall {
    bool waited;
    QString folder;
    QString executable;
    QStringList arguments;
};

class RecordingStarter : public GameStarter {
public:
    bool RunAndWait(const QString& folder, const QString& executable, const QStringList& arguments,
                    QString& error) override {
        calls.push_back({true, folder, executable, arguments});
        error = failWith;
        return failWith.isEmpty();
    }
    bool StartDetached(const QString& folder, const QString& executable,
                       const QStringList& arguments, QString& error) override {
        calls.push_back({false, folder, executable, arguments});
        error = failWith;
        return failWith.isEmpty();
    }
    bool ReplaceProcess(const QString& folder, const QString& executable,
                        const QStringList& arguments, QString& error) override {
        calls.push_back({false, folder, executable, arguments});
        error = failWith;
        return failWith.isEmpty();
    }
    std::vector<StartCall> calls;
    QString failWith;
};

std::string mission(const std::string& name) {
    ZipBuilder zip;
    zip.add(name, std::string(3000, 'L'));
    zip.add("readme.txt", "A mission for testing.\n");
    return zip.build();
}

class FlowTest : public testing::Test {
protected:
    FlowTest()
        : m_gameFolder(QString::fromStdString(m_dir.path()) + "/Descent 3/"),
          m_profile(QString::fromStdString(m_dir.file("config/torv.ini"))),
          m_registry(QString::fromStdString(m_dir.file("wineprefix"))) {
        QDir().mkpath(m_gameFolder + "missions");
        QFile game(m_gameFolder + "main.exe");
        EXPECT_TRUE(game.open(QIODevice::WriteOnly));
        m_profile.writeString("settings", "D3 Executable Path", m_gameFolder);
    }

    void addSite(const std::string& url) {
        m_profile.writeString("MissionSites", QStringLiteral("URL%1").arg(++m_sites),
                              QString::fromStdString(url));
    }
    QString missions() const { return m_gameFolder + "missions/"; }
    QString site(const std::string& path) const {
        return QString::fromStdString(m_server.url(path));
    }

    FlowResult run(QStringList argv, bool keepAlive = false) {
        m_profile.writeInt("settings", "Keep Alive", keepAlive ? 1 : 0);
        std::vector<QByteArray> bytes;
        for (const QString& arg : argv)
            bytes.push_back(arg.toLocal8Bit());
        std::vector<const char*> pointers;
        for (const QByteArray& b : bytes)
            pointers.push_back(b.constData());
        m_args.Fill(int(pointers.size()), pointers.data());
        m_settings = std::make_unique<CLauncherSettings>(m_profile, m_registry);
        MissionFlowSteps steps(m_log, *m_settings, m_args, m_starter);
        steps.SetConfiguration([this] {
            ++m_configurations;
            return true;
        });
        MissionFlow flow(m_log, *m_settings, m_args, steps);
        return flow.Run();
    }

    std::vector<std::string> requestedPaths() const {
        std::vector<std::string> paths;
        for (const auto& request : m_server.requests())
            paths.push_back(request.path);
        return paths;
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
    int m_configurations = 0;
};

const QString kTool = "/usr/local/bin/torv";
const QString kBanner = "Torvane Auto-download Tool by Quillfen.";

TEST_F(FlowTest, NotFoundOnFirstSiteFetchedFromSecondThenLaunchedAndWaitedFor) {
    m_server.route("/s1/btc.zip", Reply(404, "Not Found"));
    const std::string archive = mission("btc.mn3");
    m_server.route("/s2/btc.zip", Reply(200, "OK", archive));
    addSite(m_server.url("/s1"));  // stored without its slash: read with one
    addSite(m_server.url("/s2/"));

    EXPECT_EQ(run({kTool, "-getmission", "btc", "-rund3", "-directip", "192.168.0.100"}, true),
              FlowResult::Done);
    const QString zipPath = missions() + "btc.zip";
    EXPECT_EQ(m_log.lines,
              QStringList({
                  kBanner,
                  "D3 Path is [" + m_gameFolder + "].",
                  "Attempting to retrieve [" + site("/s1/btc.zip") + "].",
                  "Server returned 404 Not Found",
                  "Attempting to retrieve [" + site("/s2/btc.zip") + "].",
                  "Mission found, downloading to [" + zipPath + "]...",
                  QStringLiteral("Bytes copied: %1").arg(archive.size()),
                  "Unzipped File: [btc.mn3].",
                  "Unzipped File: [readme.txt].",
                  "Deleting zip file...",
                  "D3 CMD LINE: [" + m_gameFolder + "main.exe -directip 192.168.0.100 -launched]",
                  "Launching D3...",
              }));
    EXPECT_EQ(requestedPaths(), (std::vector<std::string>{"/s1/btc.zip", "/s2/btc.zip"}));
    EXPECT_FALSE(QFile::exists(zipPath));
    EXPECT_EQ(QFile(missions() + "btc.mn3").size(), 3000);
    ASSERT_EQ(m_starter.calls.size(), 1u);
    EXPECT_TRUE(m_starter.calls[0].waited);
    EXPECT_EQ(m_starter.calls[0].folder, m_gameFolder);
    EXPECT_EQ(m_starter.calls[0].executable, m_gameFolder + "main.exe");
    EXPECT_EQ(m_starter.calls[0].arguments,
              QStringList({kTool, "-directip", "192.168.0.100", "-launched"}));
}

TEST_F(FlowTest, LaterSitesAreNotContactedOnceOneDelivered) {
    m_server.route("/a/btc.zip", Reply(200, "OK", mission("btc.mn3")));
    addSite(m_server.url("/a/"));
    addSite(m_server.url("/b/"));
    EXPECT_EQ(run({kTool, "-getmission", "btc", "-rund3"}), FlowResult::Done);
    EXPECT_EQ(requestedPaths(), (std::vector<std::string>{"/a/btc.zip"}));
    ASSERT_EQ(m_starter.calls.size(), 1u);
    EXPECT_FALSE(m_starter.calls[0].waited) << "without Keep Alive the game replaces the tool";
}

TEST_F(FlowTest, HtmlPageAndArchiveWithoutTheMissionFallThroughToTheError) {
    m_server.route("/html/btc.zip", Reply(200, "OK", "<html><body>Oops</body></html>"));
    m_server.route("/other/btc.zip", Reply(200, "OK", mission("other.mn3")));
    addSite(m_server.url("/html/"));
    addSite(m_server.url("/other/"));
    EXPECT_EQ(run({kTool, "-getmission", "btc", "-rund3"}), FlowResult::Failed);

    QStringList expected = {kBanner, "D3 Path is [" + m_gameFolder + "]."};
    const QString zipPath = missions() + "btc.zip";
    expected << "Attempting to retrieve [" + site("/html/btc.zip") + "]."
             << "Mission found, downloading to [" + zipPath + "]..."
             << "Bytes copied: 30"
             << "Deleting zip file..."
             << "Zip file didn't contain the .mn3 for the mission."
             << "Attempting to retrieve [" + site("/other/btc.zip") + "]."
             << "Mission found, downloading to [" + zipPath + "]...";
    ASSERT_GE(m_log.lines.size(), expected.size());
    EXPECT_EQ(m_log.lines.mid(0, expected.size()), expected);
    EXPECT_EQ(
        m_log.lines.mid(expected.size() + 1),
        QStringList({"Unzipped File: [other.mn3].", "Unzipped File: [readme.txt].",
                     "Deleting zip file...", "Zip file didn't contain the .mn3 for the mission.",
                     "ERROR: Mission was not found on any configured sites."}));
    EXPECT_TRUE(QFile::exists(missions() + "other.mn3")) << "what was extracted stays";
    EXPECT_FALSE(QFile::exists(zipPath));
    EXPECT_TRUE(m_starter.calls.empty()) << "never launched after the final error";
}

TEST_F(FlowTest, MissionNameIsTakenFromAnyFormOfTheArgumentAndEncodedInTheUrl) {
    const struct {
        QString argument;
        std::string request;
    } cases[] = {
        {"btc.mn3", "/m/btc.zip"},
        {"btc.zip", "/m/btc.zip"},
        {"C:\\Missions\\btc.mn3", "/m/btc.zip"},
        {"my level.mn3", "/m/my%20level.zip"},
        {"/home/p/Bl\u00e4h#1.mn3", "/m/Bl%C3%A4h%231.zip"},
    };
    addSite(m_server.url("/m/"));
    size_t seen = 0;
    for (const auto& c : cases) {
        m_log.lines.clear();
        EXPECT_EQ(run({kTool, "-getmission", c.argument}), FlowResult::Failed);
        ASSERT_TRUE(m_server.waitForRequests(seen + 1, 5000)) << c.argument.toStdString();
        EXPECT_EQ(m_server.requests()[seen++].path, c.request) << c.argument.toStdString();
    }
}

TEST_F(FlowTest, ArchiveHoldingTheMissionInCapitalsCounts) {
    m_server.route("/s/btc.zip", Reply(200, "OK", mission("BTC.MN3")));
    addSite(m_server.url("/s/"));
    EXPECT_EQ(run({kTool, "-getmission", "btc"}), FlowResult::Done);
    EXPECT_EQ(m_log.lines.mid(m_log.lines.indexOf("Deleting zip file...") + 1, 1),
              QStringList({"D3 CMD LINE: [" + m_gameFolder + "main.exe -launched]"}));
}

struct EarlyEnd {
    const char* name;
    QStringList arguments;
    QStringList tail;  // the lines after the banner and the game-folder line
    FlowResult result;
};

class FlowEarlyEndTest : public FlowTest, public testing::WithParamInterface<EarlyEnd> {};

TEST_P(FlowEarlyEndTest, LogsItsLinesAndStartsNothingUnasked) {
    addSite(m_server.url("/empty/"));
    QStringList arguments = {kTool};
    arguments << GetParam().arguments;
    EXPECT_EQ(run(arguments), GetParam().result);
    QStringList tail = GetParam().tail;
    for (QString& line : tail) {
        line.replace("$GAME", m_gameFolder).replace("$SITE", site("/empty/nothere.zip"));
    }
    EXPECT_EQ(m_log.lines, QStringList({kBanner, "D3 Path is [" + m_gameFolder + "]."}) + tail);
}

const QStringList kUsageLines = {
    "ERROR: -getmission must be followed by a mission name.",
    "Usage: TORV -getmission <mission> [-rund3] [<d3 args>]",
    "Example: TORV -getmission btc.mn3 -rund3 -directip 192.168.0.100 -nointro -launched"};

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    CommandLines, FlowEarlyEndTest,
    testing::Values(
        EarlyEnd{"GetMissionWithoutName", {"-getmission"}, kUsageLines, FlowResult::Failed},
        EarlyEnd{"GetMissionFollowedByOption", {"-getmission", "-rund3"}, kUsageLines, FlowResult::Failed},
        // Names that reduce to nothing would fetch "<site>.zip" (the empty name: headless_test).
        EarlyEnd{"DotName", {"-getmission", "."}, kUsageLines, FlowResult::Failed},
        EarlyEnd{"FolderOnly", {"-getmission", "a/"}, kUsageLines, FlowResult::Failed},
        EarlyEnd{"ParentFolder", {"-getmission", "a/.."}, kUsageLines, FlowResult::Failed},
        EarlyEnd{"ExtensionOnly", {"-getmission", "C:\\.mn3"}, kUsageLines, FlowResult::Failed},
        EarlyEnd{"NoGetMissionStillLaunches", {"-rund3", "-nointro"},
                 {"WARNING: -getmission arg not found, no mission downloaded...", "D3 CMD LINE: [$GAMEmain.exe -nointro -launched]", "Launching D3..."}, FlowResult::Done},
        EarlyEnd{"NoGetMissionNoRunD3", {"-nointro"},
                 {"WARNING: -getmission arg not found, no mission downloaded...", "D3 CMD LINE: [$GAMEmain.exe -nointro -launched]",
                  "The -rund3 paramter was not present. D3 will not be run."}, FlowResult::Done},
        EarlyEnd{"SecondRunD3AndLaunchedPassOnce", {"/RUND3", "-launched", "-rund3", "-Launched"},
                 {"WARNING: -getmission arg not found, no mission downloaded...", "D3 CMD LINE: [$GAMEmain.exe -launched -rund3 -Launched]", "Launching D3..."}, FlowResult::Done},
        EarlyEnd{"MissingEverywhere", {"-getmission", "nothere", "-rund3"},
                 {"Attempting to retrieve [$SITE].", "Server returned 404 Not Found", "ERROR: Mission was not found on any configured sites."}, FlowResult::Failed}),
    [](const testing::TestParamInfo<EarlyEnd>& info) { return std::string(info.param.name); });
// clang-format on

TEST_F(FlowTest, MissionsFolderIsFoundInAnyCaseAndNeverCreated) {
    const struct {
        const char* name;
        const char* folder;  // what the game folder holds instead of "missions"
        bool isFile;
        QString reason;  // empty: the mission is fetched into that folder
        const char* decoyFile = nullptr;  // a file that shares the folder's name in another case
    } cases[] = {
        {"Capitalised", "Missions", false, {}},
        {"Capitals", "MISSIONS", false, {}},
        {"FileBesideTheFolder", "MISSIONS", false, {}, "missions"},
        {"Missing", nullptr, false, "No such file or directory"},
        {"FileInItsPlace", "missions", true, "Not a directory"},
    };
    m_server.route("/s/btc.zip", Reply(200, "OK", mission("btc.mn3")));
    addSite(m_server.url("/s/"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QDir(m_gameFolder).removeRecursively();
        QDir().mkpath(m_gameFolder);
        if (c.folder != nullptr && c.isFile) {
            QFile(m_gameFolder + c.folder).open(QIODevice::WriteOnly);
        } else if (c.folder != nullptr) {
            QDir().mkpath(m_gameFolder + c.folder);
        }
        if (c.decoyFile != nullptr) {
            QFile(m_gameFolder + c.decoyFile).open(QIODevice::WriteOnly);
        }
        m_log.lines.clear();
        const size_t requestsBefore = m_server.requests().size();

        const FlowResult result = run({kTool, "-getmission", "btc"});
        if (c.reason.isEmpty()) {
            EXPECT_EQ(result, FlowResult::Done);
            EXPECT_TRUE(m_log.lines.contains("Mission found, downloading to [" + m_gameFolder +
                                             c.folder + "/btc.zip]..."));
            EXPECT_EQ(QFile(m_gameFolder + c.folder + "/btc.mn3").size(), 3000);
            // A second run finds it there without asking a site.
            m_log.lines.clear();
            EXPECT_EQ(run({kTool, "-getmission", "btc"}), FlowResult::Done);
            EXPECT_EQ(m_log.lines[2], QStringLiteral("Mission file [btc.mn3] found in [") +
                                          m_gameFolder + c.folder + "/].");
            EXPECT_EQ(m_server.requests().size(), requestsBefore + 1);
        } else {
            EXPECT_EQ(result, FlowResult::Failed);
            EXPECT_EQ(m_log.lines.mid(2),
                      QStringList({"ERROR: Unable to use the missions folder [" + missions() +
                                   "]: " + c.reason + "."}));
            EXPECT_EQ(m_server.requests().size(), requestsBefore);
            EXPECT_EQ(QDir(m_gameFolder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                      c.isFile ? QStringList{"missions"} : QStringList{});
        }
    }
}

TEST_F(FlowTest, WaitsForAnotherFetchIntoTheFolderThenLooksAgain) {
    addSite(m_server.url("/s/"));
    platform::FolderLock other;
    QString error;
    ASSERT_TRUE(other.open(missions(), error)) << error.toStdString();
    ASSERT_TRUE(other.tryLock());
    // The other process delivers the mission and lets go while this one waits.
    QTimer::singleShot(300, [&] {
        QFile(missions() + "btc.mn3").open(QIODevice::WriteOnly);
        other.release();
    });

    EXPECT_EQ(run({kTool, "-getmission", "btc"}), FlowResult::Done);
    EXPECT_EQ(m_log.lines.mid(2, 2),
              QStringList({"Another torv is fetching into [" + missions() +
                               "]; waiting for it to finish...",
                           "Mission file [btc.mn3] found in [" + missions() + "]."}));
    EXPECT_TRUE(m_server.requests().empty());
}

TEST_F(FlowTest, EmptySiteListEndsWithTheErrorOnly) {
    EXPECT_EQ(run({kTool, "-getmission", "btc", "-rund3"}), FlowResult::Failed);
    EXPECT_EQ(m_log.lines, QStringList({kBanner, "D3 Path is [" + m_gameFolder + "].",
                                        "ERROR: Mission was not found on any configured sites."}));
    EXPECT_TRUE(m_starter.calls.empty());
}

TEST_F(FlowTest, NoGameFolderEndsBeforeAnything) {
    m_profile.writeString("settings", "D3 Executable Path", "");
    addSite(m_server.url("/s/"));
    EXPECT_EQ(run({kTool, "-getmission", "btc", "-rund3"}), FlowResult::Failed);
    EXPECT_EQ(m_log.lines, QStringList({kBanner, "ERROR: Unable to find path to D3 Executable!"}));
    EXPECT_TRUE(m_server.requests().empty());
}

TEST_F(FlowTest, NoArgumentsEnterConfigurationOnly) {
    m_profile.writeString("settings", "D3 Executable Path", "");
    EXPECT_EQ(run({kTool}), FlowResult::Configuration);
    EXPECT_EQ(m_log.lines, QStringList({kBanner, "Entering configuration mode..."}));
    EXPECT_EQ(m_configurations, 1);
}

TEST_F(FlowTest, GameThatCannotStartIsReported) {
    m_starter.failWith = "No such file or directory";
    EXPECT_EQ(run({kTool, "-rund3"}, true), FlowResult::Failed);
    EXPECT_EQ(m_log.lines.last(), "ERROR: Unable to start D3: [No such file or directory].");
}

}  // namespace
}  // namespace torv
