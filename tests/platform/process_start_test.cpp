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

const QStringList kArguments = {
    QStringLiteral("/usr/bin/torv"), QStringLiteral("-directip"), QStringLiteral("192.168.0.100"),
    QStringLiteral("two words \"quoted\""), QStringLiteral("-launched")};

// A game folder whose main.exe is a script that records its working folder and arguments. The
// folder is made by the first file written into it.
class ProcessStartTest : public ::testing::Test {
protected:
    void TearDown() override { qputenv("PATH", m_path); }

    QString writeScript(const QString& path, const QString& before, const QString& after) const {
        WinePrefixFixture::write(path, QStringLiteral("#!/bin/sh\n%2\npwd > '%1.tmp'\n"
                                                      "for a in \"$@\"; do printf '%s\\n' \"$a\" "
                                                      ">> '%1.tmp'; done\nmv '%1.tmp' '%1'\n%3\n")
                                           .arg(m_record, before, after));
        QFile(path).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                   QFileDevice::ExeOwner);
        return path;
    }
    // What the game records: its folder, then every argument but the first, a line each.
    QByteArray expected(const QStringList& front = {}) const {
        return ((QStringList{m_game} + front + kArguments.mid(1)).join('\n') + '\n').toUtf8();
    }

    const QByteArray m_path = qgetenv("PATH");
    QTemporaryDir m_dir;
    const QString m_game = m_dir.path() + QStringLiteral("/Descent 3");
    const QString m_record = m_dir.path() + QStringLiteral("/record.txt");
};

// The last row is a Windows game, run through the wine found on PATH. A game that replaces this
// process, or that this process waits for and that ends well, is the end-to-end HeadlessTest's.
TEST_F(ProcessStartTest, WaitingRunsTheGameInItsFolderAndReturnsHowItEnded) {
    const QString bin = m_dir.path() + QStringLiteral("/bin");
    const QString windowsGame = m_game + QStringLiteral("/win.exe");
    WinePrefixFixture::write(windowsGame, QByteArray("MZ\x90\x00 a Windows program", 22));
    qputenv("PATH", QFile::encodeName(bin + QStringLiteral(":/usr/bin:/bin")));
    const QString before = QDir::currentPath();
    const struct {
        QString script;  // what runs and records
        QString program;
        const char* ending;
        int expected;
        QStringList front;  // arguments the record starts with
    } rows[] = {
        {m_game + "/main.exe", "main.exe", "exit 3", 3, {}},
        {m_game + "/main.exe", "main.exe", "kill -9 $$", 137, {}},
        {bin + "/wine", windowsGame, "exit 4", 4, {windowsGame}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.ending);
        QFile::remove(m_record);
        writeScript(row.script, {}, row.ending);
        const ProcessResult result = torv::platform::startAndWait(m_game, row.program, kArguments);
        EXPECT_TRUE(result.started);
        EXPECT_EQ(result.exitStatus, row.expected);
        EXPECT_TRUE(result.error.isEmpty()) << result.error.toStdString();
        EXPECT_EQ(WinePrefixFixture::read(m_record), expected(row.front));
        EXPECT_EQ(QDir::currentPath(), before);
    }
}

QString waitingStart(const QString& folder, const QString& program, const QStringList& args) {
    const ProcessResult result = torv::platform::startAndWait(folder, program, args);
    return result.started ? QString() : result.error;
}

TEST_F(ProcessStartTest, StartThatFailsGivesTheReasonAndKeepsTheCallersFolder) {
    const QString game = writeScript(m_game + QStringLiteral("/main.exe"), {}, {});
    WinePrefixFixture::write(m_game + QStringLiteral("/data.exe"), QByteArray("not a program"));
    WinePrefixFixture::write(m_game + QStringLiteral("/win.exe"), QByteArray("MZ a program"));
    const QString gone = m_dir.path() + QStringLiteral("/gone");
    const struct {
        const char* name;
        QString folder;
        QString program;
        const char* reason;  // what the error names
    } rows[] = {
        {"missing program", m_game, m_game + QStringLiteral("/missing.exe"), "missing.exe"},
        {"not executable", m_game, QStringLiteral("data.exe"), "data.exe"},
        {"missing folder", gone, game, "gone"},
        {"Windows program without wine", m_game, QStringLiteral("win.exe"), "wine"},
    };
    using Start = QString (*)(const QString&, const QString&, const QStringList&);
    const Start starts[] = {waitingStart, torv::platform::startDetached,
                            torv::platform::startReplacing};
    qputenv("PATH", QFile::encodeName(m_dir.path()));
    const QString before = QDir::currentPath();
    for (const Start start : starts) {
        for (const auto& row : rows) {
            const QString error = start(row.folder, row.program, kArguments);
            EXPECT_TRUE(error.contains(QLatin1String(row.reason)))
                << row.name << ": " << error.toStdString();
            EXPECT_EQ(QDir::currentPath(), before) << row.name;
        }
    }
    EXPECT_FALSE(QFile::exists(m_record));
}

TEST_F(ProcessStartTest, DetachedStartRunsTheProgramWithoutWaitingForIt) {
    // It records only once `go` exists, written after the start returned: a wait records nothing.
    const QString go = m_dir.path() + QStringLiteral("/go");
    const QString game = writeScript(
        m_game + QStringLiteral("/main.exe"),
        QStringLiteral("i=0\nwhile [ ! -e '%1' ] && [ $i -lt 300 ]; do sleep 0.01; i=$((i+1)); "
                       "done\n[ -e '%1' ] || exit 1")
            .arg(go),
        {});
    const QString before = QDir::currentPath();
    EXPECT_EQ(torv::platform::startDetached(m_game, game, kArguments), QString());
    EXPECT_EQ(QDir::currentPath(), before);
    WinePrefixFixture::write(go, QByteArray());
    for (int i = 0; i < 1000 && !QFile::exists(m_record); ++i) {
        QThread::msleep(10);
    }
    EXPECT_EQ(WinePrefixFixture::read(m_record), expected());
}

}  // namespace
