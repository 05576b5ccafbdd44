// The main window on the offscreen platform, as a user sees it.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "app/AboutDlg.h"
#include "app/LauncherDlg.h"
#include "app/recorders.h"
#include "common/TokenList.h"
#include "platform/Profile.h"
#include "platform/WineRegistry.h"
#include "res/DialogBuilder.h"
#include "res/Version.h"
#include "settings/ConfigDlg.h"
#include "settings/LauncherSettings.h"
#include "support/http_server.h"
#include "support/temp_dir.h"

namespace torv {
namespace {

class WindowTest : public testing::Test {
protected:
    WindowTest()
        : m_profile(QString::fromStdString(m_dir.file("config/torv.ini"))),
          m_registry(QString::fromStdString(m_dir.file("prefix"))),
          m_settings(m_profile, m_registry),
          m_window(m_settings, m_registry, m_args, m_starter) {
        QDir().mkpath(m_game + "missions");
        QFile(m_game + "main.exe").open(QIODevice::WriteOnly);
        m_profile.writeString("settings", "D3 Executable Path", m_game);
        m_profile.writeString("settings", "Version", "0.3 Beta");  // no default site to check
    }

    QStringList shownLines() const {
        QStringList lines;
        for (int i = 0; i < m_window.LogList()->count(); ++i) {
            lines << m_window.LogList()->item(i)->text();
        }
        return lines;
    }

    test::TempDir m_dir;
    const QString m_game = QString::fromStdString(m_dir.file("game/"));
    platform::Profile m_profile;
    platform::WineRegistry m_registry;
    CLauncherSettings m_settings;
    CTokenList m_args;
    test::RecordingStarter m_starter;
    CLauncherDlg m_window;
};

TEST_F(WindowTest, LogShowsCleanLinesAndReplacesWhateverIsLast) {
    m_window.show();
    m_window.Log("first\tline");
    m_window.Log("Deleting zip file...");
    m_window.ReplaceLastLine("Bytes copied: 2048");
    EXPECT_EQ(shownLines(), QStringList({"firstline ", "Bytes copied: 2048"}));
}

TEST_F(WindowTest, CommandMenuOffersTheAboutBoxWhichShowsTheVersion) {
    std::unique_ptr<QMenu> menu(m_window.CreateCommandMenu(nullptr));
    QStringList texts;
    for (QAction* action : menu->actions()) {
        if (!action->isSeparator()) {
            texts << action->text();
        }
    }
    EXPECT_EQ(texts, QStringList({"Configure...", "&About TORV..."}));

    QString version;
    QTimer::singleShot(0, [&version] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* box = qobject_cast<CAboutDlg*>(w); box && box->isVisible()) {
                version = qobject_cast<QLabel*>(res::DialogControl(*box, res::IDC_VERSION))->text();
                box->accept();
            }
        }
    });
    menu->actions().last()->trigger();
    EXPECT_EQ(version, QStringLiteral("v") + res::kVersionText);
}

// What the dialog saves is config_dlg_test's; here, that a run without arguments opens it and
// the log tells how it ended.
TEST_F(WindowTest, RunWithoutArgumentsConfiguresAndLogsHowTheDialogEnded) {
    const QString folder = QString::fromStdString(m_dir.file("config"));
    const struct {
        bool ok;
        bool folderBecomesFile;  // while the dialog is open
        QString line;
    } rows[] = {
        {false, false, "Configuration changes discarded."},
        {true, false, "Configuration changes saved."},
        {true, true,
         "ERROR: Configuration could not be saved to [" + folder + "/torv.ini]: Not a directory."},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.line.toStdString());
        m_window.LogList()->clear();
        QTimer answer;
        QObject::connect(&answer, &QTimer::timeout, [&] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                if (auto* dialog = qobject_cast<CConfigDlg*>(w); dialog && dialog->isVisible()) {
                    answer.stop();
                    if (row.folderBecomesFile) {
                        QDir(folder).removeRecursively();
                        QFile(folder).open(QIODevice::WriteOnly);
                    }
                    row.ok ? QTest::mouseClick(dialog->OkButton(), Qt::LeftButton)
                           : QTest::keyClick(dialog, Qt::Key_Escape);
                }
            }
        });
        answer.start(20);
        EXPECT_EQ(m_window.RunMissionFlow(), FlowResult::Configuration);
        EXPECT_EQ(shownLines().mid(1), QStringList({"Entering configuration mode...", row.line}));
    }
}

struct KeyRow {
    const char* name;
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    bool closes;  // once the run has ended
};

// While the site holds the request the cursor is busy, and a key that closes the window (Enter
// as Esc does) takes effect only once the run has ended, so a download is never cut off. The key
// goes where the user types: the log list, which has the focus.
class WindowDuringRun : public WindowTest, public testing::WithParamInterface<KeyRow> {};

TEST_P(WindowDuringRun, CursorIsBusyWhileConnectingAndClosingWaitsForTheEnd) {
    test::HttpServer server;
    test::HttpReply slow = test::Reply(404, "Not Found");
    slow.delayBeforeHeadersMs = 400;
    server.route("/m/btc.zip", slow);
    m_profile.writeString("MissionSites", "URL1", QString::fromStdString(server.url("/m/")));
    const char* argv[] = {"torv", "-getmission", "btc"};
    m_args.Fill(3, argv);

    QList<Qt::CursorShape> whileConnecting;
    bool openAfterKey = false;
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (server.requests().size() == 1 && whileConnecting.isEmpty()) {
            const QCursor* cursor = QApplication::overrideCursor();
            whileConnecting << (cursor ? cursor->shape() : Qt::ArrowCursor);
            QTest::keyClick(m_window.LogList(), GetParam().key, GetParam().modifiers);
            openAfterKey = m_window.isVisible();
        }
    });
    probe.start(20);
    EXPECT_EQ(m_window.RunMissionFlow(), FlowResult::Failed);
    EXPECT_EQ(whileConnecting, QList<Qt::CursorShape>({Qt::WaitCursor}));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(shownLines().contains("Server returned 404 Not Found"));
    EXPECT_TRUE(openAfterKey);
    EXPECT_EQ(m_window.isVisible(), !GetParam().closes);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Keys, WindowDuringRun, testing::Values(
    KeyRow{"Escape", Qt::Key_Escape, Qt::NoModifier, true},
    KeyRow{"Return", Qt::Key_Return, Qt::NoModifier, true},
    KeyRow{"KeypadEnter", Qt::Key_Enter, Qt::KeypadModifier, true},
    KeyRow{"ControlReturn", Qt::Key_Return, Qt::ControlModifier, false},
    KeyRow{"Space", Qt::Key_Space, Qt::NoModifier, false}),
    test::kByName);
// clang-format on

}  // namespace
}  // namespace torv
