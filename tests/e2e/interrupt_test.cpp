// The torv binary interrupted mid-download, from outside: by the signals a terminal, a service
// manager or a closed session sends, and by SIGKILL, which no program can answer.
#include <gtest/gtest.h>
#include <signal.h>

#include <QDeadlineTimer>

#include "e2e/sandbox.h"

namespace {

using torv::test::HttpReply;
using torv::test::MissionArchive;
using torv::test::Reply;

class InterruptTest : public testing::Test, protected torv::test::Sandbox {
protected:
    InterruptTest() {
        HttpReply stalling = Reply(200, "OK", MissionArchive(200000));
        stalling.fault = HttpReply::Fault::StallMidBody;
        m_server.route("/slow/btc.zip", stalling);
        m_server.route("/good/btc.zip", Reply(200, "OK", MissionArchive(200000)));
        HttpReply silent = Reply(200, "OK", "");
        silent.fault = HttpReply::Fault::NoStatus;
        m_server.route("/silent/btc.zip", silent);
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
    std::unique_ptr<QProcess> startStalledDownload() {
        return startUntil("/slow/", "\nBytes copied: ");
    }
};

TEST_F(InterruptTest, SignalMidDownloadRemovesThePartialArchiveAndSaysSo) {
    const std::pair<int, const char*> interrupts[] = {
        {SIGINT, "SIGINT"}, {SIGTERM, "SIGTERM"}, {SIGHUP, "SIGHUP"}};
    for (const auto& [sig, name] : interrupts) {
        SCOPED_TRACE(name);
        const auto torv = startStalledDownload();
        ASSERT_EQ(partFiles().size(), 1) << "the download is under way";
        ::kill(pid_t(torv->processId()), sig);
        const auto run = finish(*torv);
        EXPECT_EQ(run.exitCode, 128 + sig);
        EXPECT_EQ(run.lines.value(run.lines.size() - 1),
                  QStringLiteral("ERROR: Interrupted by %1; the unfinished files were removed.")
                      .arg(name));
        EXPECT_EQ(partFiles(), QStringList());
        EXPECT_FALSE(QFile::exists(m_missions + "btc.zip"));
    }
}

// Before the body there is nothing to remove, and the line does not claim otherwise.
TEST_F(InterruptTest, SignalBeforeTheBodyRemovesNothing) {
    const auto torv = startUntil("/silent/", "Attempting to retrieve [");
    ::kill(pid_t(torv->processId()), SIGINT);
    const auto run = finish(*torv);
    EXPECT_EQ(run.exitCode, 128 + SIGINT);
    EXPECT_EQ(run.lines.value(run.lines.size() - 1), "ERROR: Interrupted by SIGINT.");
}

TEST_F(InterruptTest, NextRunSweepsWhatAKilledRunLeft) {
    write(m_missions + ".torv-notes.part", "");  // not of torv's pattern
    const auto killed = startStalledDownload();
    killed->kill();
    ASSERT_TRUE(killed->waitForFinished(10000));
    ASSERT_EQ(partFiles().size(), 2) << "SIGKILL leaves the partial archive";

    writeSettings(m_game, {site("/good/")});
    const auto next = run({"-getmission", "btc"});
    EXPECT_EQ(next.exitCode, 0);
    const auto swept = next.lines.indexOf("Removed 1 temporary file left in [" + m_missions +
                                          "] by an interrupted run.");
    EXPECT_NE(swept, -1) << next.lines.join('\n').toStdString();
    EXPECT_TRUE(next.lines.value(swept + 1).startsWith("Attempting to retrieve ["));
    EXPECT_EQ(partFiles(), QStringList({".torv-notes.part"}));
    EXPECT_EQ(QFile(m_missions + "btc.mn3").size(), 200000);
}

}  // namespace
