// The torv binary interrupted mid-download, from outside: by the signals a terminal, a service
// manager or a closed session sends, and by SIGKILL, which no program can answer.
#include <gtest/gtest.h>
#include <signal.h>

#include <QDeadlineTimer>

#include <tuple>

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
};

TEST_F(InterruptTest, SignalEndsTheRunRemovingThePartialArchiveAndSaysSo) {
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

TEST_F(InterruptTest, NextRunSweepsWhatAKilledRunLeft) {
    write(m_missions + ".torv-notes.part", "");  // not of torv's pattern
    const auto killed = startUntil("/slow/", "\nBytes copied: ");
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
