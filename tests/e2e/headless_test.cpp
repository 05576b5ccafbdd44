// The torv binary run from outside, headless, in a sandbox: its own config home, Wine prefix,
// game folder with a fake game, and a local mission site. Checked by what it prints, its exit
// status and what the fake game recorded.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

#include "support/http_server.h"
#include "support/temp_dir.h"
#include "support/zip_builder.h"

namespace {

using torv::test::HttpReply;
using torv::test::HttpServer;
using torv::test::Reply;
using torv::test::TempDir;
using torv::test::ZipBuilder;

struct Outcome {
    int exitCode = -1;
    QStringList lines;
};

class HeadlessTest : public testing::Test {
protected:
    HeadlessTest() : m_root(QString::fromStdString(m_dir.path())) {
        m_game = m_root + "/Games/Descent 3/";
        QDir().mkpath(m_game + "missions");
        QDir().mkpath(m_root + "/config/Quillfen");
        QDir().mkpath(m_root + "/home");
        // A fake game: records its arguments and the folder it was started in, then ends.
        writeFile(m_game + "main.exe", "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"" + m_game +
                                           "args.txt\"\npwd > \"" + m_game + "cwd.txt\"\nexit 0\n");
        QFile(m_game + "main.exe")
            .setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    static void writeFile(const QString& path, const QString& text) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text.toUtf8());
    }

    void writeSettings(const QString& gameFolder, bool keepAlive, const QStringList& sites) {
        QString ini = "[settings]\nD3 Executable Path=" + gameFolder +
                      "\nKeep Alive=" + (keepAlive ? "1" : "0") + "\n[MissionSites]\n";
        for (int i = 0; i < sites.size(); ++i)
            ini += QStringLiteral("URL%1=%2\n").arg(i + 1).arg(sites[i]);
        writeFile(m_root + "/config/Quillfen/torv.ini", ini);
    }

    // Starts program (torv unless told) in the sandbox; finish() collects it.
    std::unique_ptr<QProcess> start(const QStringList& arguments,
                                    const QString& program = QStringLiteral(TORV_BINARY)) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(name);
        env.insert(m_display);
        env.insert("XDG_CONFIG_HOME", m_root + "/config");
        env.insert("WINEPREFIX", m_root + "/prefix");
        env.insert("HOME", m_root + "/home");
        auto process = std::make_unique<QProcess>();
        process->setProcessEnvironment(env);
        process->setProgram(program);
        process->setArguments(arguments);
        process->start();
        return process;
    }

    static Outcome finish(QProcess& process) {
        Outcome result;
        if (!process.waitForFinished(60000)) {
            process.kill();
            process.waitForFinished();
            ADD_FAILURE() << "torv did not end";
            return result;
        }
        result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        result.lines = QString::fromUtf8(process.readAllStandardOutput()).split('\n');
        if (!result.lines.isEmpty() && result.lines.last().isEmpty())
            result.lines.removeLast();
        return result;
    }

    Outcome run(const QStringList& arguments) { return finish(*start(arguments)); }

    QString read(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    QProcessEnvironment m_display;  // the display variables a run is given; none unless set
    TempDir m_dir;
    HttpServer m_server;
    QString m_root;
    QString m_game;
};

std::string missionArchive() {
    ZipBuilder zip;
    zip.add("btc.mn3", std::string(50000, 'M'), 0);  // stored: the download spans many chunks
    zip.add("btc.txt", "Briefing.\n");
    return zip.build();
}

TEST_F(HeadlessTest, FetchesTheMissionAndHandsOverToTheGame) {
    const std::string archive = missionArchive();
    m_server.route("/missions/btc.zip", Reply(200, "OK", archive));
    for (bool keepAlive : {false, true}) {
        SCOPED_TRACE(keepAlive ? "Keep Alive on" : "Keep Alive off");
        QFile::remove(m_game + "missions/btc.mn3");
        QFile::remove(m_game + "args.txt");
        writeSettings(m_game, keepAlive,
                      {QString::fromStdString(m_server.url("/missing/")),
                       QString::fromStdString(m_server.url("/missions/"))});

        const Outcome run = this->run({"-getmission", "btc", "-rund3", "-nointro"});
        EXPECT_EQ(run.exitCode, 0);
        const QString site = QString::fromStdString(m_server.url("/"));
        const QString zip = m_game + "missions/btc.zip";
        EXPECT_EQ(run.lines, QStringList({
                                 "Torvane Auto-download Tool by Quillfen.",
                                 "D3 Path is [" + m_game + "].",
                                 "Attempting to retrieve [" + site + "missing/btc.zip].",
                                 "Server returned 404 Not Found",
                                 "Attempting to retrieve [" + site + "missions/btc.zip].",
                                 "Mission found, downloading to [" + zip + "]...",
                                 "Bytes Copied: 0",
                                 "Bytes copied: 2048",
                                 "Bytes copied: 22528",
                                 "Bytes copied: 43008",
                                 QStringLiteral("Bytes copied: %1").arg(archive.size()),
                                 "Unzipped File: [btc.mn3].",
                                 "Unzipped File: [btc.txt].",
                                 "Deleting zip file...",
                                 "D3 CMD LINE: [" + m_game + "main.exe -nointro -launched]",
                                 "Launching D3...",
                             }));
        EXPECT_EQ(read(m_game + "args.txt"), "-nointro\n-launched\n");
        EXPECT_EQ(QDir(read(m_game + "cwd.txt").trimmed()).canonicalPath(),
                  QDir(m_game).canonicalPath());
        EXPECT_EQ(QFile(m_game + "missions/btc.mn3").size(), 50000);
        EXPECT_FALSE(QFile::exists(zip));
    }
}

TEST_F(HeadlessTest, ExitStatusSaysWhetherTheMissionIsInPlace) {
    writeSettings(m_game, false, {QString::fromStdString(m_server.url("/empty/"))});
    const Outcome missing = run({"-getmission", "nothere", "-rund3"});
    EXPECT_EQ(missing.exitCode, 1);
    ASSERT_FALSE(missing.lines.isEmpty());
    EXPECT_EQ(missing.lines.last(), "ERROR: Mission was not found on any configured sites.");
    EXPECT_FALSE(QFile::exists(m_game + "args.txt")) << "the game never starts after the error";

    QFile(m_game + "missions/here.mn3").open(QIODevice::WriteOnly);
    const Outcome present = run({"-getmission", "here"});
    EXPECT_EQ(present.exitCode, 0);
    EXPECT_EQ(present.lines.last(), "The -rund3 paramter was not present. D3 will not be run.");
}

TEST_F(HeadlessTest, ADisplayThatNobodyServesCountsAsNone) {
    // Left behind by an ended ssh or desktop session: Qt would abort on it.
    m_display.insert("DISPLAY", ":4711");
    m_display.insert("WAYLAND_DISPLAY", "torv-test-no-such-display");
    m_display.insert("XDG_RUNTIME_DIR", m_root);
    writeSettings(m_game, false, {});
    QFile(m_game + "missions/here.mn3").open(QIODevice::WriteOnly);
    const Outcome present = run({"-getmission", "here"});
    EXPECT_EQ(present.exitCode, 0);
    EXPECT_EQ(present.lines.value(2),
              "Mission file [here.mn3] found in [" + m_game + "missions/].");
}

TEST_F(HeadlessTest, GameFolderIsDiscoveredInTheWinePrefixAndRemembered) {
    // The game installed at C:\Games\Descent 3 inside the prefix, registered by its installer
    // under the 32-bit view.
    const QString prefix = m_root + "/prefix";
    QDir().mkpath(prefix + "/dosdevices");
    QDir().mkpath(prefix + "/drive_c");
    ASSERT_TRUE(QFile::link(m_root, prefix + "/dosdevices/c:"));
    writeFile(prefix + "/system.reg",
              "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win64\n\n"
              "[Software\\\\Wow6432Node\\\\Outrage\\\\Descent3] 1700000000\n"
              "\"BaseDirectory\"=\"C:\\\\Games\\\\Descent 3\"\n\n");
    writeSettings("", false, {});
    QFile(m_game + "missions/here.mn3").open(QIODevice::WriteOnly);

    const Outcome run = this->run({"-getmission", "here"});
    EXPECT_EQ(run.exitCode, 0);
    ASSERT_GE(run.lines.size(), 2);
    EXPECT_EQ(QDir(run.lines[1].mid(12, run.lines[1].size() - 14)).canonicalPath(),
              QDir(m_game).canonicalPath())
        << run.lines[1].toStdString();
    EXPECT_TRUE(read(m_root + "/config/Quillfen/torv.ini").contains("D3 Executable Path="));
    EXPECT_FALSE(read(m_root + "/config/Quillfen/torv.ini").contains("D3 Executable Path=\n"));
}

TEST_F(HeadlessTest, ConfigurationModeWithoutDisplaySaysSoAndShowsTheSettings) {
    writeSettings(m_game, true, {"http://a.example/m/", "http://b.example/"});
    const QString before = read(m_root + "/config/Quillfen/torv.ini");
    const Outcome run = this->run({});
    EXPECT_NE(run.exitCode, 0) << "nothing was configured";
    EXPECT_EQ(run.lines, QStringList({"Torvane Auto-download Tool by Quillfen.",
                                      "Entering configuration mode...",
                                      "ERROR: The configuration dialog needs a display (DISPLAY or "
                                      "WAYLAND_DISPLAY); nothing was changed.",
                                      "D3 Path is [" + m_game + "].", "Keep Alive is [on].",
                                      "Mission site 1: [http://a.example/m/].",
                                      "Mission site 2: [http://b.example/]."}));
    EXPECT_EQ(read(m_root + "/config/Quillfen/torv.ini"), before);
}

TEST_F(HeadlessTest, RacingProcessesTakeTurnsAndFetchOnce) {
    // The site answers slowly, so the others start while the first one holds the folder.
    HttpReply slow = Reply(200, "OK", missionArchive());
    slow.delayBeforeHeadersMs = 1'500;
    m_server.route("/m/btc.zip", slow);
    writeSettings(m_game, false, {QString::fromStdString(m_server.url("/m/"))});

    std::vector<std::unique_ptr<QProcess>> racers;
    for (int i = 0; i < 4; ++i)
        racers.push_back(start({"-getmission", "btc"}));
    int waited = 0;
    for (auto& racer : racers) {
        const Outcome outcome = finish(*racer);
        EXPECT_EQ(outcome.exitCode, 0) << outcome.lines.join('\n').toStdString();
        if (outcome.lines.contains("Another torv is fetching into [" + m_game +
                                   "missions/]; waiting for it to finish...")) {
            ++waited;
            EXPECT_TRUE(outcome.lines.contains("Mission file [btc.mn3] found in [" + m_game +
                                               "missions/]."));
        }
    }
    EXPECT_EQ(m_server.requests().size(), 1u) << "the others found what the first fetched";
    EXPECT_GE(waited, 1) << "the site was slow enough for the others to start meanwhile";
    EXPECT_EQ(QFile(m_game + "missions/btc.mn3").size(), 50000);
    EXPECT_EQ(QDir(m_game + "missions").entryList(QDir::Files | QDir::Hidden),
              QStringList({".torv.lock", "btc.mn3", "btc.txt"}));
}

TEST_F(HeadlessTest, KeepsFetchingWhenItsOutputIsClosed) {
    // The answer comes after the reader has taken its one line and gone.
    HttpReply slow = Reply(200, "OK", missionArchive());
    slow.delayBeforeHeadersMs = 500;
    m_server.route("/m/btc.zip", slow);
    writeSettings(m_game, false, {QString::fromStdString(m_server.url("/m/"))});

    const QString pipeline =
        QStringLiteral("( \"%1\" -getmission btc; echo $? > \"%2/status\" ) | head -1")
            .arg(TORV_BINARY, m_root);
    // As from a user's shell: this test process (through QProcess) ignores SIGPIPE, and an
    // ignored signal stays ignored in every child.
    const Outcome outcome =
        finish(*start({"--default-signal=PIPE", "/bin/sh", "-c", pipeline}, "/usr/bin/env"));
    EXPECT_EQ(outcome.lines, QStringList{"Torvane Auto-download Tool by Quillfen."});
    EXPECT_EQ(read(m_root + "/status").trimmed(), "0");
    EXPECT_EQ(QFile(m_game + "missions/btc.mn3").size(), 50000);
}

TEST_F(HeadlessTest, NoMissionsFolderOrNoNameEndsBeforeAnySite) {
    writeSettings(m_game, false, {QString::fromStdString(m_server.url("/m/"))});
    const Outcome noName = run({"-getmission", "", "-rund3"});
    EXPECT_EQ(noName.exitCode, 1);
    EXPECT_EQ(noName.lines.mid(2, 1),
              QStringList({"ERROR: -getmission must be followed by a mission name."}));

    QDir(m_game + "missions").removeRecursively();
    const Outcome noFolder = run({"-getmission", "btc", "-rund3"});
    EXPECT_EQ(noFolder.exitCode, 1);
    EXPECT_EQ(noFolder.lines.mid(2),
              QStringList({"ERROR: Unable to use the missions folder [" + m_game +
                           "missions/]: No such file or directory."}));
    EXPECT_FALSE(QDir(m_game + "missions").exists()) << "never created for the user";
    EXPECT_TRUE(m_server.requests().empty());
    EXPECT_FALSE(QFile::exists(m_game + "args.txt"));
}

}  // namespace
