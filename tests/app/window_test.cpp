// The main window on the offscreen platform, as a user sees it.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
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
#include "support/temp_dir.h"

namespace torv {
namespace {

class NoGame : public GameStarter {
public:
    bool runAndWait(const QString&, const QString&, const QStringList&, QString& error) override {
        error = "not in this test";
        return false;
    }
    bool replaceProcess(const QString&, const QString&, const QStringList&,
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

TEST_F(WindowTest, CaptionCarriesTheVersion) {
    EXPECT_EQ(m_window.windowTitle(), QStringLiteral("Torvane [v%1]").arg(res::kVersionText));
}

TEST_F(WindowTest, LogShowsCleanLinesAndReplacesWhateverIsLast) {
    m_window.show();
    m_window.log("first\tline");
    m_window.log("Deleting zip file...");
    m_window.replaceLastLine("Bytes copied: 2048");
    EXPECT_EQ(shownLines(), QStringList({"firstline ", "Bytes copied: 2048"}));
}

TEST_F(WindowTest, TheNewestLineIsAlwaysInView) {
    m_window.show();
    for (int i = 0; i < 40; ++i) {
        m_window.log(QStringLiteral("line %1").arg(i));
        QListWidget* list = m_window.LogList();
        const QRect last = list->visualItemRect(list->item(list->count() - 1));
        ASSERT_TRUE(list->viewport()->rect().contains(last)) << "after line " << i;
    }
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
    m_window.log("before");
    QTimer::singleShot(0, [] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* box = qobject_cast<CAboutDlg*>(w); box && box->isVisible())
                box->accept();
        }
    });
    m_window.OnSysCommand(CLauncherDlg::IDM_ABOUTBOX | 0x3);
    EXPECT_EQ(shownLines(), QStringList({"before"}));
}

}  // namespace
}  // namespace torv
