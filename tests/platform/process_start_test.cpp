#include "platform/ProcessStart.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include "platform/wine_prefix_fixture.h"

namespace {

using torv::platform::ProcessResult;
using torv::test::WinePrefixFixture;

// A game folder whose main.exe is a script that records its working folder and arguments.
class ProcessStartTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_game = m_dir.path() + QStringLiteral("/Descent 3");
        QDir().mkpath(m_game);
        m_record = m_dir.path() + QStringLiteral("/record.txt");
    }

    QString writeScript(const QString& path, int exitStatus, const QString& extra = {}) const {
        WinePrefixFixture::write(
            path, QStringLiteral("#!/bin/sh\npwd > '%1'\nfor a in \"$@\"; do printf '%s\\n' "
                                 "\"$a\" >> '%1'; done\n%2exit %3\n")
                      .arg(m_record, extra)
                      .arg(exitStatus));
        QFile(path).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                   QFileDevice::ExeOwner);
        return path;
    }
    QString writeGame(int exitStatus) const {
        return writeScript(m_game + QStringLiteral("/main.exe"), exitStatus);
    }
    QStringList recorded() const {
        QString text = QString::fromUtf8(WinePrefixFixture::read(m_record));
        if (text.endsWith(QLatin1Char('\n'))) {
            text.chop(1);
        }
        return text.split(QLatin1Char('\n'));
    }

    QTemporaryDir m_dir;
    QString m_game;
    QString m_record;
};

const QStringList kArguments = {
    QStringLiteral("/usr/bin/torv"), QStringLiteral("-directip"), QStringLiteral("192.168.0.100"),
    QStringLiteral("two words \"quoted\""), QStringLiteral("-launched")};

TEST_F(ProcessStartTest, WaitingRunsTheGameInItsFolderWithItsArguments) {
    const QString before = QDir::currentPath();
    const ProcessResult result = torv::platform::startAndWait(m_game, writeGame(0), kArguments);
    EXPECT_TRUE(result.started);
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_TRUE(result.error.isEmpty());
    EXPECT_EQ(recorded(), QStringList({m_game, "-directip", "192.168.0.100", "two words \"quoted\"",
                                       "-launched"}));
    EXPECT_EQ(QDir::currentPath(), before);
}

struct StatusRow {
    const char* name;
    int exitStatus;
    const char* extra;  // shell text run before the exit
    int expected;
};

class ProcessExitStatus : public ProcessStartTest,
                          public ::testing::WithParamInterface<StatusRow> {};

TEST_P(ProcessExitStatus, WaitingReturnsHowTheGameEnded) {
    writeScript(m_game + QStringLiteral("/main.exe"), GetParam().exitStatus,
                QString::fromUtf8(GetParam().extra));
    const ProcessResult result =
        torv::platform::startAndWait(m_game, QStringLiteral("main.exe"), kArguments);
    EXPECT_TRUE(result.started);
    EXPECT_EQ(result.exitStatus, GetParam().expected);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Endings, ProcessExitStatus, ::testing::Values(
    StatusRow{"Failure", 3, "", 3},
    StatusRow{"KilledBySignal", 0, "kill -9 $$\n", 137}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

TEST_F(ProcessStartTest, GameThatCannotStartIsReportedWithTheReason) {
    const ProcessResult missing =
        torv::platform::startAndWait(m_game, m_game + QStringLiteral("/main.exe"), kArguments);
    EXPECT_FALSE(missing.started);
    EXPECT_TRUE(missing.error.contains(QStringLiteral("main.exe"))) << missing.error.toStdString();

    WinePrefixFixture::write(m_game + QStringLiteral("/data.exe"), QByteArray("not a program"));
    const ProcessResult notExecutable =
        torv::platform::startAndWait(m_game, m_game + QStringLiteral("/data.exe"), kArguments);
    EXPECT_FALSE(notExecutable.started);
    EXPECT_FALSE(notExecutable.error.isEmpty());

    const ProcessResult noFolder = torv::platform::startAndWait(
        m_dir.path() + QStringLiteral("/gone"), writeGame(0), kArguments);
    EXPECT_FALSE(noFolder.started);
    EXPECT_TRUE(noFolder.error.contains(QStringLiteral("gone"))) << noFolder.error.toStdString();
    EXPECT_FALSE(QFile::exists(m_record));
}

// PATH is set for the duration of one test and restored afterwards.
class PathOverride {
public:
    explicit PathOverride(const QString& path) : m_saved(qgetenv("PATH")) {
        qputenv("PATH", path.toUtf8());
    }
    ~PathOverride() { qputenv("PATH", m_saved); }

private:
    QByteArray m_saved;
};

TEST_F(ProcessStartTest, WindowsGameRunsThroughWine) {
    const QString bin = m_dir.path() + QStringLiteral("/bin");
    QDir().mkpath(bin);
    writeScript(bin + QStringLiteral("/wine"), 4);
    const QString game = m_game + QStringLiteral("/main.exe");
    WinePrefixFixture::write(game, QByteArray("MZ\x90\x00 a Windows program", 22));

    const PathOverride path(bin + QStringLiteral(":/usr/bin:/bin"));
    const ProcessResult result = torv::platform::startAndWait(m_game, game, kArguments);
    EXPECT_TRUE(result.started);
    EXPECT_EQ(result.exitStatus, 4);
    EXPECT_EQ(recorded(), QStringList({m_game, game, "-directip", "192.168.0.100",
                                       "two words \"quoted\"", "-launched"}));
}

TEST_F(ProcessStartTest, WindowsGameWithoutWineIsReported) {
    const QString game = m_game + QStringLiteral("/main.exe");
    WinePrefixFixture::write(game, QByteArray("MZ a Windows program"));
    const PathOverride path(m_dir.path());
    const ProcessResult result = torv::platform::startAndWait(m_game, game, kArguments);
    EXPECT_FALSE(result.started);
    EXPECT_TRUE(result.error.contains(QStringLiteral("wine"))) << result.error.toStdString();
    EXPECT_EQ(torv::platform::startReplacing(m_game, game, kArguments), result.error);
}

TEST_F(ProcessStartTest, ReplacingBecomesTheGameInItsFolder) {
    const QString game = writeGame(5);
    // The death-test child is the process that gets replaced; the exit code is the game's.
    EXPECT_EXIT(
        {
            torv::platform::startReplacing(m_game, game, kArguments);
            std::_Exit(99);
        },
        ::testing::ExitedWithCode(5), "");
    EXPECT_EQ(recorded(), QStringList({m_game, "-directip", "192.168.0.100", "two words \"quoted\"",
                                       "-launched"}));
}

TEST_F(ProcessStartTest, ReplacingThatFailsReturnsTheReasonAndKeepsTheFolder) {
    const QString before = QDir::currentPath();
    const QString error =
        torv::platform::startReplacing(m_game, m_game + QStringLiteral("/main.exe"), kArguments);
    EXPECT_TRUE(error.contains(QStringLiteral("main.exe"))) << error.toStdString();
    EXPECT_EQ(QDir::currentPath(), before);

    const QString folderError = torv::platform::startReplacing(
        m_dir.path() + QStringLiteral("/gone"), writeGame(0), kArguments);
    EXPECT_TRUE(folderError.contains(QStringLiteral("gone"))) << folderError.toStdString();
    EXPECT_EQ(QDir::currentPath(), before);
}

TEST_F(ProcessStartTest, DetachedStartRunsTheProgramWithoutWaitingForIt) {
    // The program records only once a file exists that the test writes after the start returned;
    // a start that waited for it would find nothing recorded.
    const QString go = m_dir.path() + QStringLiteral("/go");
    const QString game = m_game + QStringLiteral("/main.exe");
    WinePrefixFixture::write(
        game,
        QStringLiteral("#!/bin/sh\ni=0\nwhile [ ! -e '%1' ] && [ $i -lt 300 ]; do sleep 0.01; "
                       "i=$((i+1)); done\n[ -e '%1' ] || exit 1\npwd > '%2.tmp'\nfor a in "
                       "\"$@\"; do printf '%s\\n' \"$a\" >> '%2.tmp'; done\nmv '%2.tmp' '%2'\n")
            .arg(go, m_record));
    QFile(game).setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    const QString before = QDir::currentPath();
    EXPECT_EQ(torv::platform::startDetached(m_game, game, kArguments), QString());
    EXPECT_EQ(QDir::currentPath(), before);
    WinePrefixFixture::write(go, QByteArray());
    const QStringList expected = {m_game, "-directip", "192.168.0.100", "two words \"quoted\"",
                                  "-launched"};
    for (int i = 0; i < 1000 && !QFile::exists(m_record); ++i) {
        QThread::msleep(10);
    }
    EXPECT_EQ(recorded(), expected);

    EXPECT_NE(torv::platform::startDetached(m_game, m_game + QStringLiteral("/gone"), kArguments),
              QString());
    EXPECT_TRUE(
        torv::platform::startDetached(m_dir.path() + QStringLiteral("/gone"), game, kArguments)
            .contains(QStringLiteral("gone")));
}

}  // namespace
