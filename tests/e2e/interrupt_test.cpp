// The torv binary interrupted mid-download, from outside: by the signals a terminal, a service
// manager or a closed session sends, and by SIGKILL, which no program can answer.
#include <gtest/gtest.h>
#include <signal.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include "support/http_server.h"
#include "support/temp_dir.h"
#include "support/zip_builder.h"

namespace {

using torv::test::HttpReply;
using torv::test::HttpServer;
using torv::test::Reply;
using torv::test::TempDir;
using torv::test::ZipBuilder;

std::string missionArchive() {
    ZipBuilder zip;
    zip.add("btc.mn3", std::string(200000, 'M'), 0);
    return zip.build();
}

class InterruptTest : public testing::Test {
protected:
    InterruptTest() : m_root(QString::fromStdString(m_dir.path())) {
        m_missions = m_root + "/game/missions/";
        QDir().mkpath(m_missions);
        QDir().mkpath(m_root + "/config/Quillfen");
        QFile game(m_root + "/game/main.exe");
        game.open(QIODevice::WriteOnly);
        game.write("#!/bin/sh\n");
        HttpReply stalling = Reply(200, "OK", missionArchive());
        stalling.fault = HttpReply::Fault::StallMidBody;
        m_server.route("/slow/btc.zip", stalling);
        m_server.route("/good/btc.zip", Reply(200, "OK", missionArchive()));
    }

    void useSite(const std::string& path) {
        QFile ini(m_root + "/config/Quillfen/torv.ini");
        ini.open(QIODevice::WriteOnly | QIODevice::Truncate);
        ini.write(("[settings]\nD3 Executable Path=" + m_root + "/game/\n[MissionSites]\nURL1=" +
                   QString::fromStdString(m_server.url(path)) + "\n")
                      .toUtf8());
    }

    void start(QProcess& torv) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(name);
        env.insert("XDG_CONFIG_HOME", m_root + "/config");
        env.insert("WINEPREFIX", m_root + "/prefix");
        torv.setProcessEnvironment(env);
        torv.start(QStringLiteral(TORV_BINARY), {"-getmission", "btc"});
    }

    // Reads torv's output until a line starts with prefix; what it read so far goes to out.
    static bool waitForLine(QProcess& torv, const QString& prefix, QString& out) {
        const QDeadlineTimer deadline(20000);
        while (!deadline.hasExpired()) {
            out += QString::fromUtf8(torv.readAllStandardOutput());
            if (out.startsWith(prefix) || out.contains("\n" + prefix))
                return true;
            if (torv.state() == QProcess::NotRunning)
                return false;
            torv.waitForReadyRead(100);
        }
        return false;
    }

    // Names in the missions folder that look like the temporary files of a download.
    QStringList partFiles() const {
        return QDir(m_missions).entryList({".torv-*.part"}, QDir::Files | QDir::Hidden);
    }

    TempDir m_dir;
    HttpServer m_server;
    QString m_root;
    QString m_missions;
};

TEST_F(InterruptTest, SignalMidDownloadRemovesThePartialArchiveAndSaysSo) {
    for (auto [sig, name] : {std::pair{SIGINT, "SIGINT"}, std::pair{SIGTERM, "SIGTERM"},
                             std::pair{SIGHUP, "SIGHUP"}}) {
        SCOPED_TRACE(name);
        useSite("/slow/");
        QProcess torv;
        start(torv);
        QString out;
        ASSERT_TRUE(waitForLine(torv, "Bytes copied: ", out)) << out.toStdString();
        ASSERT_EQ(partFiles().size(), 1) << "the download is under way";

        ::kill(pid_t(torv.processId()), sig);
        ASSERT_TRUE(torv.waitForFinished(10000));
        out += QString::fromUtf8(torv.readAllStandardOutput());
        EXPECT_EQ(torv.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(torv.exitCode(), 128 + sig);
        EXPECT_TRUE(out.endsWith(QStringLiteral("\nERROR: Interrupted by %1; the unfinished files "
                                                "were removed.\n")
                                     .arg(name)))
            << out.toStdString();
        EXPECT_EQ(partFiles(), QStringList());
        EXPECT_FALSE(QFile::exists(m_missions + "btc.zip"));
    }
}

TEST_F(InterruptTest, NextRunSweepsWhatAKilledRunLeft) {
    QFile(m_missions + ".torv-notes.part").open(QIODevice::WriteOnly);  // not of torv's pattern
    useSite("/slow/");
    QProcess killed;
    start(killed);
    QString out;
    ASSERT_TRUE(waitForLine(killed, "Bytes copied: ", out)) << out.toStdString();
    killed.kill();
    ASSERT_TRUE(killed.waitForFinished(10000));
    ASSERT_EQ(partFiles().size(), 2) << "SIGKILL leaves the partial archive";

    useSite("/good/");
    QProcess next;
    start(next);
    ASSERT_TRUE(next.waitForFinished(30000));
    const QString lines = QString::fromUtf8(next.readAllStandardOutput());
    EXPECT_EQ(next.exitCode(), 0) << lines.toStdString();
    EXPECT_TRUE(lines.contains("\nRemoved 1 temporary file left in [" + m_missions +
                               "] by an interrupted run.\nAttempting to retrieve ["))
        << lines.toStdString();
    EXPECT_EQ(partFiles(), QStringList({".torv-notes.part"}));
    EXPECT_EQ(QFile(m_missions + "btc.mn3").size(), 200000);
}

}  // namespace
