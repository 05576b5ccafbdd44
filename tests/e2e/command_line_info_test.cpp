// torv --help and --version run from outside: they answer and exit 0 without settings or a
// window, touch no file, and answer only as the sole argument.
#include <gtest/gtest.h>

#include <QDirIterator>

#include "e2e/sandbox.h"
#include "res/Version.h"

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
    // clang-format off
    const InfoCase cases[] = {
        {"version", {"--version"}, true, {version}},
        {"help", {"--help"}, true, help},
        {"short help", {"-h"}, true, help},
        {"unwritable output", {"--version"}, true, {}, "/dev/full", 1},
        {"two words", {"--version", "--help"}, false, {banner}, nullptr, 1},
        {"word for the game", {"-getmission", "btc", "--version"}, false, {banner}, nullptr, 1},
    };
    // clang-format on
    for (const InfoCase& c : cases) {
        SCOPED_TRACE(c.name);
        torv::test::Sandbox sandbox;
        if (c.answered) {
            // A display nobody serves: an attempt at a window would end the run in failure.
            sandbox.m_env.insert("DISPLAY", ":97");
        }
        const QStringList before = EntriesUnder(sandbox.m_root);
        const auto process = sandbox.start(c.arguments, QStringLiteral(TORV_BINARY),
                                           QString::fromLatin1(c.stdoutFile));
        const torv::test::Outcome run = sandbox.finish(*process);
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
