// The main window on the offscreen platform, as a user sees it.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QKeySequence>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QTest>
#include <QTimer>

#include "app/AboutDlg.h"
#include "app/GameStarter.h"
#include "app/LauncherDlg.h"
#include "common/TokenList.h"
#include "platform/Profile.h"
#include "platform/WineRegistry.h"
#include "res/DialogBuilder.h"
#include "res/Version.h"
#include "settings/LauncherSettings.h"
#include "support/http_server.h"
#include "support/temp_dir.h"

namespace torv {
namespace {

class NoGame : public GameStarter {
public:
    bool RunAndWait(const QString&, const QString&, const QStringList&, QString& error) override {
        error = "not in this test";
        return false;
    }
    bool StartDetached(const QString&, const QString&, const QStringList&,
                       QString& error) override {
        error = "not in this test";
        return false;
    }
    bool ReplaceProcess(const QString&, const QString&, const QStringList&,
                        QString& error) override {
        error = "not in this test";
        return false;
    }
};

class WindowTest : public testing::Test {
protected:
    WindowTest()
        : m_profile(QString::fromStdString(m_dir.file("torv.ini"))),
          m_registry(QString::fromStdString(m_dir.file("prefix"))),
          m_settings(m_profile, m_registry),
          m_window(m_settings, m_registry, m_args, m_starter) {}

    QStringList shownLines() const {
        QStringList lines;
        for (int i = 0; i < m_window.LogList()->count(); ++i) {
            lines << m_window.LogList()->item(i)->text();
        }
        return lines;
    }

    test::TempDir m_dir;
    platform::Profile m_profile;
    platform::WineRegistry m_registry;
    CLauncherSettings m_settings;
    CTokenList m_args;
    NoGame m_starter;
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
        if (!action->isSeparator())
            texts << action->text();
    }
    EXPECT_EQ(texts, QStringList({"Configure...", "&About TORV..."}));

    CAboutDlg about;
    EXPECT_EQ(about.windowTitle(), "About Torvane");
    auto* version = qobject_cast<QLabel*>(res::DialogControl(about, res::IDC_VERSION));
    ASSERT_NE(version, nullptr);
    EXPECT_EQ(version->text(), QStringLiteral("v") + res::kVersionText);

    // Choosing the command opens the box; closing it leaves the log as it was.
    m_window.Log("before");
    QTimer::singleShot(0, [] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* box = qobject_cast<CAboutDlg*>(w); box && box->isVisible())
                box->accept();
        }
    });
    m_window.OnSysCommand(CLauncherDlg::IDM_ABOUTBOX | 0x3);
    EXPECT_EQ(shownLines(), QStringList({"before"}));
}

TEST_F(WindowTest, EnterClosesTheWindowAsEscDoes) {
    const std::pair<Qt::Key, Qt::KeyboardModifiers> keys[] = {{Qt::Key_Escape, Qt::NoModifier},
                                                              {Qt::Key_Return, Qt::NoModifier},
                                                              {Qt::Key_Enter, Qt::KeypadModifier}};
    for (const auto& [key, modifiers] : keys) {
        SCOPED_TRACE(QKeySequence(key).toString().toStdString());
        m_window.show();
        // The key goes where the user types: the log list, which has the focus.
        QTimer::singleShot(0, [&, key = key, modifiers = modifiers] {
            QTest::keyClick(m_window.LogList(), key, modifiers);
        });
        const int kStillOpen = 99;
        QTimer::singleShot(5000, &m_window, [this] { m_window.done(kStillOpen); });
        EXPECT_NE(m_window.exec(), kStillOpen);
        EXPECT_FALSE(m_window.isVisible());
    }
}

TEST_F(WindowTest, OtherKeysLeaveTheWindowOpen) {
    m_window.show();
    QTest::keyClick(m_window.LogList(), Qt::Key_Return, Qt::ControlModifier);
    QTest::keyClick(m_window.LogList(), Qt::Key_Space);
    EXPECT_TRUE(m_window.isVisible());
}

TEST_F(WindowTest, BusyCursorShowsWhileTheDownloadConnectsOnly) {
    test::HttpServer server;
    test::HttpReply slow = test::Reply(404, "Not Found");
    slow.delayBeforeHeadersMs = 400;
    server.route("/m/btc.zip", slow);
    const QString game = QString::fromStdString(m_dir.file("game/"));
    QDir().mkpath(game + "missions");
    QFile(game + "main.exe").open(QIODevice::WriteOnly);
    m_profile.writeString("settings", "D3 Executable Path", game);
    m_profile.writeString("MissionSites", "URL1", QString::fromStdString(server.url("/m/")));
    const char* argv[] = {"torv", "-getmission", "btc"};
    m_args.Fill(3, argv);

    // Looks at the cursor while the site holds the request.
    QList<Qt::CursorShape> whileConnecting;
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (server.requests().size() == 1 && whileConnecting.isEmpty()) {
            const QCursor* cursor = QApplication::overrideCursor();
            whileConnecting << (cursor ? cursor->shape() : Qt::ArrowCursor);
        }
    });
    probe.start(20);
    EXPECT_EQ(m_window.RunMissionFlow(), FlowResult::Failed);
    EXPECT_EQ(whileConnecting, QList<Qt::CursorShape>({Qt::WaitCursor}));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(shownLines().contains("Server returned 404 Not Found"));
}

}  // namespace
}  // namespace torv
