// The torv binary run from outside, in a sandbox: its own config home, home and Wine prefix, no
// display, a game folder whose fake game records its arguments and working folder, and a local
// mission site. What it prints, its exit status, what the fake game recorded and the files it
// leaves; interrupted mid-download by the signals a terminal, a service manager or a closed session
// sends, and by SIGKILL, which no program can answer; and asked for --help or --version, which it
// answers without settings or a window, touching no file.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <memory>
#include <tuple>
#include <vector>

#include "res/Version.h"
#include "support/http_server.h"
#include "support/steam_fixture.h"
#include "support/temp_dir.h"
#include "support/zip_builder.h"

namespace {

using torv::test::HttpReply;
using torv::test::Reply;
using torv::test::SteamFixture;
using torv::test::TempDir;

// The mission of that size, stored so that its download spans many chunks, and a briefing.
std::string MissionArchive(size_t size, const std::string& mission = "btc.mn3") {
    torv::test::ZipBuilder zip;
    zip.add(mission, std::string(size, 'M'), 0);
    zip.add("btc.txt", "Briefing.\n");
    return zip.build();
}

struct Outcome {
    int exitCode = -1;  // -1: crashed or hung
    QStringList lines;  // standard output
};

class Sandbox {
public:
    Sandbox() {
        QDir().mkpath(m_missions);
        QDir().mkpath(m_root + "/home");
        write(m_game + "main.exe", "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"" + m_game +
                                       "args.txt\"\npwd > \"" + m_game + "cwd.txt\"\n");
        QFile(m_game + "main.exe").setPermissions(QFile::ReadOwner | QFile::ExeOwner);
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
            m_env.remove(name);
        }
        m_env.insert("XDG_CONFIG_HOME", m_root + "/config");
        m_env.insert("WINEPREFIX", m_root + "/prefix");
        m_env.insert("HOME", m_root + "/home");
    }

    static constexpr auto write = &SteamFixture::write;
    static QString read(const QString& path) {
        return QString::fromStdString(TempDir::read(path.toStdString()));
    }

    QString iniPath(const QString& app = "torv") const {
        return m_root + "/config/Quillfen/" + app + ".ini";
    }
    QString site(const std::string& path) const {
        return QString::fromStdString(m_server.url(path));
    }

    void writeSettings(const QString& folder, const QStringList& sites, bool keepAlive = false,
                       const QString& app = "torv") {
        QString ini = "[settings]\nD3 Executable Path=" + folder +
                      "\nKeep Alive=" + (keepAlive ? "1" : "0") + "\n[MissionSites]\n";
        for (int i = 0; i < sites.size(); ++i) {
            ini += QStringLiteral("URL%1=%2\n").arg(i + 1).arg(sites[i]);
        }
        write(iniPath(app), ini);
    }

    std::unique_ptr<QProcess> start(const QStringList& arguments,
                                    const QString& program = TORV_BINARY,
                                    const QString& stdoutFile = {}) {
        auto process = std::make_unique<QProcess>();
        process->setProcessEnvironment(m_env);
        if (!stdoutFile.isEmpty()) {
            process->setStandardOutputFile(stdoutFile);
        }
        process->start(program, arguments);
        return process;
    }

    static Outcome finish(QProcess& process) {
        Outcome result;
        if (!process.waitForFinished(60000)) {
            return result;  // the process object kills it on its way out
        }
        result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        result.lines = QString::fromUtf8(process.readAllStandardOutput()).split('\n');
        if (result.lines.last().isEmpty()) {
            result.lines.removeLast();
        }
        return result;
    }

    Outcome run(const QStringList& arguments, const QString& program = TORV_BINARY) {
        return finish(*start(arguments, program));
    }

    TempDir m_dir;
    torv::test::HttpServer m_server;
    const QString m_root = QString::fromStdString(m_dir.path());
    const QString m_game = m_root + "/Games/Descent 3/";
    const QString m_missions = m_game + "missions/";
    QProcessEnvironment m_env = QProcessEnvironment::systemEnvironment();
};

class HeadlessTest : public testing::Test, protected Sandbox {
protected:
    HeadlessTest() {
        HttpReply stalling = Reply(200, "OK", MissionArchive(200000));
        stalling.fault = HttpReply::Fault::StallMidBody;
        m_server.route("/slow/btc.zip", stalling);
        m_server.route("/good/btc.zip", Reply(200, "OK", MissionArchive(200000)));
        HttpReply silent = Reply(200, "OK", "");
        silent.fault = HttpReply::Fault::NoStatus;
        m_server.route("/silent/btc.zip", silent);
        HttpReply late = Reply(200, "OK", MissionArchive(50000));
        late.delayBeforeHeadersMs = 1'500;
        m_server.route("/late/btc.zip", late);
    }

    QStringList partFiles() const {
        return QDir(m_missions).entryList({".torv-*.part"}, QDir::Files | QDir::Hidden);
    }

    // torv fetching from the site, once its output holds marker.
    std::unique_ptr<QProcess> startUntil(const std::string& path, const QString& marker) {
        writeSettings(m_game, {site(path)});
        auto torv = start({"-getmission", "btc"});
        QString out;
        const QDeadlineTimer deadline(20000);
        while (!out.contains(marker) && torv->waitForReadyRead(deadline.remainingTime())) {
            out += QString::fromUtf8(torv->readAllStandardOutput());
        }
        EXPECT_TRUE(out.contains(marker)) << out.toStdString();
        return torv;
    }
};

// The first site that has it delivers: a site stored without its slash is read with one, the next
// one is never asked, and the mission and its folder count in any case ("missions" is a file).
TEST_F(HeadlessTest, FetchesTheMissionAndHandsOverToTheGame) {
    const std::string archive = MissionArchive(50000, "BTC.MN3");
    m_server.route("/missions/btc.zip", Reply(200, "OK", archive));
    const QString folder = m_game + "MISSIONS/";
    ASSERT_TRUE(QDir(m_game).rename("missions", "MISSIONS"));
    write(m_game + "missions", "");
    for (bool keepAlive : {false, true}) {
        SCOPED_TRACE(keepAlive ? "Keep Alive on" : "Keep Alive off");
        QFile::remove(folder + "BTC.MN3");
        QFile::remove(m_game + "args.txt");
        writeSettings(m_game, {site("/missing"), site("/missions/"), site("/never/")}, keepAlive);

        const Outcome run = this->run({"-getmission", "btc", "-rund3", "-nointro"});
        EXPECT_EQ(run.exitCode, 0);
        const QString zip = folder + "btc.zip";
        EXPECT_EQ(
            run.lines.mid(2),
            QStringList(
                {"Attempting to retrieve [" + site("/missing/btc.zip") + "].",
                 "Server returned 404 Not Found",
                 "Attempting to retrieve [" + site("/missions/btc.zip") + "].",
                 "Mission found, downloading to [" + zip + "]...", "Bytes Copied: 0",
                 "Bytes copied: 2048", "Bytes copied: 22528", "Bytes copied: 43008",
                 QStringLiteral("Bytes copied: %1").arg(archive.size()),
                 "Unzipped File: [BTC.MN3].", "Unzipped File: [btc.txt].", "Deleting zip file...",
                 "D3 CMD LINE: [" + m_game + "main.exe -nointro -launched]", "Launching D3..."}));
        EXPECT_EQ(m_server.requests().size(), keepAlive ? 4u : 2u);
        EXPECT_EQ(read(m_game + "args.txt"), "-nointro\n-launched\n");
        EXPECT_EQ(QDir(read(m_game + "cwd.txt").trimmed()).canonicalPath(),
                  QDir(m_game).canonicalPath());
        EXPECT_EQ(QFile(folder + "BTC.MN3").size(), 50000);
        EXPECT_FALSE(QFile::exists(zip));
    }
}

struct EndCase {
    const char* name;
    const char* fifo;  // a FIFO there, relative to the sandbox
    bool removeMissions;
    QStringList arguments;
    int exitCode;
    bool asksSites;
    QStringList lastLines;  // "@game" is the game folder, "@root" the sandbox, "@site" the site
    const char* program = nullptr;  // a link to torv by that name runs instead
    const char* profile = "torv";   // the settings are written to <profile>.ini
    bool discover = false;  // no game folder set: the Wine prefix names it, and it is remembered
};

// Each run ends with its exit status and last lines, never starts the game or creates the missions
// folder, asks the sites only when it has to, and leaves the settings file as it was unless it
// stored a discovered game folder. A stale display counts as none. The settings profile is named
// after the whole executable name, less only a trailing ".exe". A page served for the archive is
// an archive without the mission.
TEST(Headless, ExitStatusAndLastLinesSayWhyItEnded) {
    const QString notFound = "ERROR: Mission was not found on any configured sites.";
    const QStringList inPlace = {"Mission file [here.mn3] found in [@gamemissions/].",
                                 "D3 CMD LINE: [@gamemain.exe -launched]",
                                 "The -rund3 paramter was not present. D3 will not be run."};
    // clang-format off
    const EndCase cases[] = {
        {"NotOnAnySite", nullptr, false, {"-getmission", "nothere", "-rund3"}, 1, true, {notFound}},
        {"PageForTheArchive", nullptr, false, {"-getmission", "page"}, 1, true, {"Deleting zip file...", "Zip file didn't contain the .mn3 for the mission.", notFound}},
        {"InPlace", nullptr, false, {"-getmission", "here"}, 0, false, inPlace},
        {"ProfileWithDots", nullptr, false, {"-getmission", "here"}, 0, false, inPlace, "torv-0.4", "torv-0.4"},
        {"ProfileLessExe", nullptr, false, {"-getmission", "here"}, 0, false, inPlace, "TORV.EXE", "TORV"},
        {"ProfileWithInnerExe", nullptr, false, {"-getmission", "here"}, 0, false, inPlace, "torv.exe.old", "torv.exe.old"},
        {"FolderFromWinePrefix", nullptr, false, {"-getmission", "here"}, 0, false, inPlace, nullptr, "torv", true},
        {"ConfigurationWithoutDisplay", nullptr, false, {}, 1, false, {"Entering configuration mode...", "ERROR: The configuration dialog needs a display (DISPLAY or WAYLAND_DISPLAY); nothing was changed.", "D3 Path is [@game].", "Keep Alive is [off].", "Mission site 1: [@site]."}},
        {"NoName", nullptr, false, {"-getmission", "", "-rund3"}, 1, false, {"ERROR: -getmission must be followed by a mission name.", "Usage: TORV -getmission <mission> [-rund3] [<d3 args>]", "Example: TORV -getmission btc.mn3 -rund3 -directip 192.168.0.100 -nointro -launched"}},
        {"NoMissionsFolder", nullptr, true, {"-getmission", "btc", "-rund3"}, 1, false, {"D3 Path is [@game].", "ERROR: Unable to use the missions folder [@gamemissions/]: No such file or directory."}},
        {"FifoNamedLikeTheMission", "Games/Descent 3/missions/btc.mn3", false, {"-getmission", "btc"}, 1, true, {"WARNING: File [btc.mn3] was not unzipped: a special file has that name.", "Unzipped File: [btc.txt].", "Deleting zip file...", "Zip file didn't contain the .mn3 for the mission.", notFound}},
        {"FifoAsTheSettings", "config/Quillfen/torv.ini", false, {"-getmission", "btc"}, 1, false, {"Torvane Auto-download Tool by Quillfen.", "ERROR: Settings file [@root/config/Quillfen/torv.ini] is not a regular file; running with default settings, and the file is left as it is.", "ERROR: Unable to find path to D3 Executable!"}},
    };
    // clang-format on
    for (const EndCase& c : cases) {
        SCOPED_TRACE(c.name);
        Sandbox s;
        s.m_server.route("/m/btc.zip", Reply(200, "OK", MissionArchive(10)));
        s.m_server.route("/m/page.zip", Reply(200, "OK", "<html><body>Oops</body></html>"));
        s.writeSettings(c.discover ? "" : s.m_game, {s.site("/m/")}, false, c.profile);
        if (c.discover) {
            // Installed at C:\Games\Descent 3 inside the prefix, registered under the 32-bit view.
            SteamFixture::writeWinePrefix(s.m_root + "/prefix", s.m_root, "Games\\\\Descent 3");
        }
        const QString program = c.program ? s.m_root + "/" + c.program : TORV_BINARY;
        ASSERT_TRUE(c.program == nullptr || QFile::link(TORV_BINARY, program));
        s.write(s.m_missions + "here.mn3", "");
        s.m_env.insert("DISPLAY", ":4711");
        s.m_env.insert("WAYLAND_DISPLAY", "torv-test-no-such-display");
        s.m_env.insert("XDG_RUNTIME_DIR", s.m_root);
        const QString fifo = s.m_root + "/" + c.fifo;
        if (c.fifo != nullptr) {
            QFile::remove(fifo);
            ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
        }
        if (c.removeMissions) {
            QDir(s.m_missions).removeRecursively();
        }

        const QString before = c.fifo ? QString() : s.read(s.iniPath(c.profile));
        const Outcome run = s.run(c.arguments, program);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.lines.join('\n').toStdString();
        QStringList expected = c.lastLines;
        expected.replaceInStrings("@game", s.m_game).replaceInStrings("@root", s.m_root);
        expected.replaceInStrings("@site", s.site("/m/"));
        EXPECT_EQ(run.lines.mid(run.lines.size() - expected.size()), expected);
        EXPECT_FALSE(QFile::exists(s.m_game + "args.txt")) << "the game never starts";
        EXPECT_NE(QDir(s.m_missions).exists(), c.removeMissions) << "never created for the user";
        EXPECT_EQ(s.m_server.requests().empty(), !c.asksSites);
        EXPECT_TRUE(!c.discover || s.read(s.iniPath()).contains("D3 Executable Path=" + s.m_game));
        EXPECT_TRUE(c.fifo || c.discover || s.read(s.iniPath(c.profile)) == before)
            << "settings kept";
        struct stat st {};
        EXPECT_TRUE(c.fifo == nullptr ||
                    (::stat(QFile::encodeName(fifo).constData(), &st) == 0 && S_ISFIFO(st.st_mode)))
            << "a FIFO is left as it is";
    }
}

TEST_F(HeadlessTest, RacingProcessesTakeTurnsAndFetchOnce) {
    // The site answers late, so the others start while the first one holds the folder.
    writeSettings(m_game, {site("/late/")});

    std::vector<std::unique_ptr<QProcess>> racers;
    for (int i = 0; i < 4; ++i) {
        racers.push_back(start({"-getmission", "btc"}));
    }
    int waited = 0;
    for (auto& racer : racers) {
        const Outcome outcome = finish(*racer);
        EXPECT_EQ(outcome.exitCode, 0) << outcome.lines.join('\n').toStdString();
        if (outcome.lines.contains("Another torv is fetching into [" + m_missions +
                                   "]; waiting for it to finish...")) {
            ++waited;
            EXPECT_TRUE(
                outcome.lines.contains("Mission file [btc.mn3] found in [" + m_missions + "]."));
        }
    }
    EXPECT_EQ(m_server.requests().size(), 1u) << "the others found what the first fetched";
    EXPECT_GE(waited, 1) << "the site was slow enough for the others to start meanwhile";
    EXPECT_EQ(QFile(m_missions + "btc.mn3").size(), 50000);
    EXPECT_EQ(QDir(m_missions).entryList(QDir::Files | QDir::Hidden),
              QStringList({".torv.lock", "btc.mn3", "btc.txt"}));
}

TEST_F(HeadlessTest, KeepsFetchingWhenItsOutputIsClosed) {
    // The answer comes after the reader has taken its one line and gone.
    writeSettings(m_game, {site("/late/")});

    const QString pipeline =
        QStringLiteral("( \"%1\" -getmission btc; echo $? > \"%2/status\" ) | head -1")
            .arg(TORV_BINARY, m_root);
    // As from a user's shell: SIGPIPE, which this process ignores, back to its default.
    const Outcome outcome =
        run({"--default-signal=PIPE", "/bin/sh", "-c", pipeline}, "/usr/bin/env");
    EXPECT_EQ(outcome.lines, QStringList{"Torvane Auto-download Tool by Quillfen."});
    EXPECT_EQ(read(m_root + "/status").trimmed(), "0");
    EXPECT_EQ(QFile(m_missions + "btc.mn3").size(), 50000);
}

// No game folder set, a game Steam installed: the mission lands there and Steam starts the game
// (which program starts without Steam is game_launch_test's).
TEST_F(HeadlessTest, FetchesIntoTheSteamInstallAndStartsTheGame) {
    const QString steamRoot = m_root + "/home/.local/share/Steam";
    const QString library = m_root + "/games/SteamLibrary";
    SteamFixture::writeLibraries(steamRoot, {steamRoot, library}, 1);
    const QString game = SteamFixture::installGame(library, "Descent 3", {"main.exe"});
    m_server.route("/m/btc.zip", Reply(200, "OK", MissionArchive(10)));
    m_env.insert("PATH", m_root + "/bin:/usr/bin:/bin");
    SteamFixture::writeRecorder(m_root + "/bin/steam", m_root + "/steam.args");
    write(iniPath(), "[MissionSites]\nURL1=" + site("/m/") + "\n");
    const Outcome run = this->run({"-getmission", "btc", "-rund3"});
    EXPECT_EQ(run.exitCode, 0) << run.lines.join('\n').toStdString();
    EXPECT_TRUE(run.lines.contains("D3 Path is [" + game + "]."));
    EXPECT_EQ(QFile(game + "missions/btc.mn3").size(), 10);
    EXPECT_EQ(read(m_root + "/steam.args"), "-applaunch\n273590\n-launched\n");
    EXPECT_TRUE(read(iniPath()).contains("D3 Executable Path=" + game));
}

TEST_F(HeadlessTest, SignalEndsTheRunRemovingThePartialArchiveAndSaysSo) {
    // From the silent site the signal comes before the body: nothing to remove, and no claim.
    // clang-format off
    const std::tuple<int, QString, bool> cases[] = {
        {SIGINT, "SIGINT", true}, {SIGTERM, "SIGTERM", true}, {SIGHUP, "SIGHUP", true},
        {SIGINT, "SIGINT", false}};
    // clang-format on
    for (const auto& [sig, name, midBody] : cases) {
        SCOPED_TRACE(name.toStdString() + (midBody ? " mid-body" : " before the body"));
        const auto torv = midBody ? startUntil("/slow/", "\nBytes copied: ")
                                  : startUntil("/silent/", "Attempting to retrieve [");
        ASSERT_EQ(partFiles().size(), midBody ? 1 : 0);
        ::kill(pid_t(torv->processId()), sig);
        const auto run = finish(*torv);
        EXPECT_EQ(run.exitCode, 128 + sig);
        EXPECT_EQ(run.lines.value(run.lines.size() - 1),
                  "ERROR: Interrupted by " + name +
                      (midBody ? "; the unfinished files were removed." : "."));
        EXPECT_EQ(partFiles(), QStringList());
        EXPECT_FALSE(QFile::exists(m_missions + "btc.zip"));
    }
}

TEST_F(HeadlessTest, NextRunSweepsWhatAKilledRunLeft) {
    const auto killed = startUntil("/slow/", "\nBytes copied: ");
    killed->kill();
    ASSERT_TRUE(killed->waitForFinished(10000));
    ASSERT_EQ(partFiles().size(), 1) << "SIGKILL leaves the partial archive";

    writeSettings(m_game, {site("/good/")});
    const auto next = run({"-getmission", "btc"});
    EXPECT_EQ(next.exitCode, 0);
    const auto swept = next.lines.indexOf("Removed 1 temporary file left in [" + m_missions +
                                          "] by an interrupted run.");
    EXPECT_NE(swept, -1) << next.lines.join('\n').toStdString();
    EXPECT_TRUE(next.lines.value(swept + 1).startsWith("Attempting to retrieve ["));
    EXPECT_EQ(partFiles(), QStringList());
    EXPECT_EQ(QFile(m_missions + "btc.mn3").size(), 200000);
}

struct InfoCase {
    const char* name;
    QStringList arguments;
    bool answered;      // printed the help or version instead of running the tool
    QStringList lines;  // lines the output must hold, in this order; "@config" is the config home
    const char* stdoutFile = nullptr;
    int exitCode = 0;
};

QStringList EntriesUnder(const QString& folder) {
    QStringList entries;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        entries << it.next();
    }
    entries.sort();
    return entries;
}

TEST(CommandLineInfo, AnswersOnlyAsTheSoleArgumentAndTouchesNothing) {
    const QString version = QStringLiteral("Torvane ") + torv::res::kVersionText;
    const QString usage = "Usage: torv [-getmission <mission>] [-rund3] [<d3 args>]";
    // The help from its first line to its last, with the line that names the settings file.
    const QStringList help = {"Torvane v" + QString(torv::res::kVersionText), usage,
                              "Settings: @config/Quillfen/torv.ini", "Exit status:"};
    // clang-format off
    const InfoCase cases[] = {
        {"version", {"--version"}, true, {version}},
        {"help", {"--help"}, true, help},
        {"short help", {"-h"}, true, help},
        {"unwritable output", {"--version"}, true, {}, "/dev/full", 1},
        {"two words", {"--version", "--help"}, false, {"Torvane Auto-download Tool by Quillfen."}, nullptr, 1},
    };
    // clang-format on
    for (const InfoCase& c : cases) {
        SCOPED_TRACE(c.name);
        Sandbox sandbox;
        if (c.answered) {
            // A display nobody serves: an attempt at a window would end the run in failure.
            sandbox.m_env.insert("DISPLAY", ":97");
        }
        const QStringList before = EntriesUnder(sandbox.m_root);
        const auto process = sandbox.start(c.arguments, TORV_BINARY, c.stdoutFile);
        const Outcome run = sandbox.finish(*process);
        EXPECT_EQ(run.exitCode, c.exitCode) << process->readAllStandardError().toStdString();

        const QStringList output =
            run.lines.join('\n').replace(sandbox.m_root + "/config", "@config").split('\n');
        qsizetype at = 0;
        for (const QString& line : c.lines) {
            const qsizetype found = output.indexOf(line, at);
            EXPECT_NE(found, -1) << "missing or out of order: " << line.toStdString();
            at = found + 1;
        }
        if (c.answered) {
            EXPECT_EQ(EntriesUnder(sandbox.m_root), before);
        } else {
            EXPECT_FALSE(output.contains(version));
            EXPECT_FALSE(output.contains(usage));
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
