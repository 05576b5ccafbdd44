// torv --help and --version run from outside, with an empty home and config home: they answer
// and exit 0 without settings or a window, and only as the sole argument.
#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include "res/Version.h"
#include "support/temp_dir.h"

namespace {

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
    const QString banner = "Torvane Auto-download Tool by Quillfen.";
    const QStringList help = {"Torvane v" + QString(torv::res::kVersionText),
                              "Free software for Descent 3 players.",
                              usage,
                              "  -rund3: Launch D3 after grabbing the mission.",
                              "  (pass no parameters to start in configuration mode)",
                              "Settings: @config/Quillfen/torv.ini",
                              "Exit status:"};
    const InfoCase cases[] = {
        {"version", {"--version"}, true, {version}},
        {"help", {"--help"}, true, help},
        {"short help", {"-h"}, true, help},
        {"unwritable output", {"--version"}, true, {}, "/dev/full", 1},
        {"two words", {"--version", "--help"}, false, {banner}, nullptr, 1},
        {"word for the game", {"-getmission", "btc", "--version"}, false, {banner}, nullptr, 1},
    };
    for (const InfoCase& c : cases) {
        SCOPED_TRACE(c.name);
        torv::test::TempDir dir;
        const QString root = QString::fromStdString(dir.path());
        QDir().mkpath(root + "/home");
        QDir().mkpath(root + "/config");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("QT_QPA_PLATFORM");
        env.remove("WAYLAND_DISPLAY");
        env.insert("HOME", root + "/home");
        env.insert("XDG_CONFIG_HOME", root + "/config");
        env.insert("WINEPREFIX", root + "/home/.wine");
        if (c.answered) {
            // A display nobody serves: an attempt at a window would end the run in failure.
            env.insert("DISPLAY", ":97");
        } else {
            env.remove("DISPLAY");
        }
        QProcess process;
        process.setProcessEnvironment(env);
        if (c.stdoutFile) {
            process.setStandardOutputFile(QString::fromLatin1(c.stdoutFile));
        }
        process.start(QStringLiteral(TORV_BINARY), c.arguments);
        ASSERT_TRUE(process.waitForFinished(60000));
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process.exitCode(), c.exitCode) << process.readAllStandardError().toStdString();

        const QStringList output = QString::fromLocal8Bit(process.readAllStandardOutput())
                                       .replace(root + "/config", "@config")
                                       .split('\n');
        qsizetype at = 0;
        for (const QString& line : c.lines) {
            const qsizetype found = output.indexOf(line, at);
            EXPECT_NE(found, -1) << "missing or out of order: " << line.toStdString();
            at = found + 1;
        }
        if (c.answered) {
            EXPECT_EQ(EntriesUnder(root), QStringList({root + "/config", root + "/home"}));
        } else {
            EXPECT_FALSE(output.contains(version));
            EXPECT_FALSE(output.contains(usage));
        }
    }
}

}  // namespace
