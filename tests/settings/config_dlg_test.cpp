#include "settings/ConfigDlg.h"

#include <gtest/gtest.h>

#include <sys/mount.h>
#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScopeGuard>
#include <QTest>
#include <QTimer>
#include <memory>
#include <optional>

#include "platform/fake_wine_server.h"
#include "res/DialogBuilder.h"
#include "res/DialogTemplates.h"
#include "res/Version.h"
#include "settings/LauncherSettings.h"
#include "settings/settings_fixture.h"
#include "sitelist/SiteEdit.h"
#include "sitelist/SiteListBox.h"
#include "support/steam_fixture.h"
#include "workers/SiteChecker.h"

namespace torv::test {
namespace {

const QString kInvalid = QStringLiteral("<invalid d3 path, please correct>");
const QString kKali = QStringLiteral("Software\\Kali\\Kali95\\Games\\Descent 3");

// Takes the site checks instead of a worker thread.
struct RecordingChecker : ISiteChecker {
    void PostCheckSite(QObject*, std::unique_ptr<CSiteCheckRequest> request) override {
        urls.append(request->m_strUrl);
    }
    void PostQuit() override {}
    QStringList urls;
};

// The game, this tool, and three front-end rows in this order: Kquery 4 indeterminate,
// Kali 95 [Descent 3] unchecked, Kali 95 [Descent 3 Demo] checked.
class ConfigDlgTest : public ::testing::Test {
protected:
    ConfigDlgTest() {
        m_sandbox.stageGameAndTool();
        m_sandbox.prefix.writeUserReg(
            KqueryValues("C:\\\\KQ\\\\Launcher.exe", "-x -getmission old -rund3") +
            Kali("Descent 3",
                 "\"GameExe\"=\"C:\\\\D3\\\\Main.exe\"\n\"CmdLineOpts\"=\"-nointro\"") +
            Kali("Descent 3 Demo",
                 "\"GameExe\"=\"Z:\\\\opt\\\\torv.exe\"\n\"CmdLineOpts\"=\"-demo\""));
    }

    void SeedValidSettings(const QString& sites = "URL1=http://one.example/\n") {
        m_sandbox.seedIni("[settings]\nVersion=0.3 Beta\nD3 Executable Path=" + m_game +
                          "\nKeep Alive=0\n\n[MissionSites]\n" + sites);
    }

    // The dialog, shown (which initialises it) unless show is false.
    std::unique_ptr<CConfigDlg> Open(bool show = true) {
        m_settings = std::make_unique<CLauncherSettings>(m_sandbox.profile, m_sandbox.registry);
        auto dialog =
            std::make_unique<CConfigDlg>(m_settings.get(), m_sandbox.registry, &m_checker, nullptr);
        dialog->SetOwnExecutable(m_sandbox.ownExe);
        dialog->SetFileChooser([this](QWidget* parent) {
            EXPECT_NE(parent, nullptr);
            return m_nextFile;
        });
        if (show) {
            dialog->show();
            EXPECT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
        }
        return dialog;
    }

    // The space bar on the row ticks its check box, as a click on the box does.
    static void ToggleCheck(CConfigDlg& dialog, int row) {
        dialog.AppList()->setCurrentRow(row);
        QTest::keyClick(dialog.AppList(), Qt::Key_Space);
    }
    // OK is enabled, and every front-end row with it.
    static bool Usable(CConfigDlg& dialog) {
        for (int row = 0; row < dialog.AppList()->count(); ++row) {
            EXPECT_EQ(dialog.AppList()->item(row)->flags().testFlag(Qt::ItemIsEnabled),
                      dialog.OkButton()->isEnabled());
        }
        return dialog.OkButton()->isEnabled();
    }

    SettingsFixture m_sandbox;
    const QString& m_game = m_sandbox.game;
    std::unique_ptr<CLauncherSettings> m_settings;
    RecordingChecker m_checker;
    QString m_nextFile;
};

struct BrowseRow {
    const char* name;
    bool startValid;
    QString choice;  // with "@" for drive C:
    bool valid;      // afterwards
    QString shown;   // with "@" for drive C:
};

// A long folder shows its end, with the whole path as the tooltip.
TEST_F(ConfigDlgTest, BrowseShowsTheChosenFilesFolderWhenItHoldsTheGame) {
    const QString deep = QString("very-long-folder-name/").repeated(6) + "Descent3 Final";
    m_sandbox.gameFile(deep + "/main.exe");
    // clang-format off
    const BrowseRow rows[] = {
        {"GameFolderWithBlanksBeforeItEnablesOkAndRows", false, "  @/Games/Descent3/MAIN.EXE", true, "@/Games/Descent3/"},
        {"FolderWithoutTheGameDisablesOkAgain", true, "@/Other/setup.exe", false, kInvalid},
        {"CancelledWhileValidChangesNothing", true, "", true, "@/Games/Descent3/"},
        {"PathWithoutAFolderIsNoGame", true, "main.exe", false, kInvalid},
        {"LongFolder", true, "@/" + deep + "/main.exe", true, "@/" + deep + "/"},
    };
    // clang-format on
    WinePrefixFixture::write(m_sandbox.prefix.driveC() + "/Other/setup.exe", QByteArray("MZ"));
    const QString driveC = QDir(m_sandbox.prefix.driveC()).canonicalPath();
    for (const BrowseRow& row : rows) {
        SCOPED_TRACE(row.name);
        m_sandbox.seedIni(row.startValid ? "[settings]\nD3 Executable Path=" + m_game : "");
        auto dialog = Open();
        EXPECT_EQ(Usable(*dialog), row.startValid);
        EXPECT_EQ(dialog->PathEdit()->text(), row.startValid ? m_game : kInvalid);
        const QString before = m_sandbox.iniText();
        m_nextFile = QString(row.choice).replace("@", driveC);
        QTest::mouseClick(dialog->BrowseButton(), Qt::LeftButton);
        QLineEdit* box = dialog->PathEdit();
        EXPECT_EQ(box->text(), QString(row.shown).replace("@", driveC));
        EXPECT_EQ(box->toolTip(), row.valid ? box->text() : "");
        EXPECT_EQ(box->cursorPosition(), box->text().size()) << "the end is in sight";
        EXPECT_TRUE(box->isReadOnly());
        EXPECT_EQ(Usable(*dialog), row.valid);
        EXPECT_EQ(m_sandbox.iniText(), before) << "nothing is stored before OK";
        // Enter in the list saves through OK, unless OK is disabled.
        dialog->AppList()->setFocus();
        QTest::keyClick(dialog.get(), Qt::Key_Return);
        EXPECT_EQ(dialog->isVisible(), !row.valid);
    }
}

// What OK may run into: nothing, a Wine that cannot write the front ends, a file where the settings
// folder belongs, or a full disk (a one-page tmpfs the seeded file fills).
enum class Fault { None, WineFails, FileWhereTheFolderBelongs, FullDisk };
const char* const kFaultNames[] = {"None", "WineFails", "FileWhereTheFolderBelongs", "FullDisk"};

class ConfigDlgOk : public ConfigDlgTest, public ::testing::WithParamInterface<Fault> {};

// A click never reaches indeterminate; OK keeps a site still being edited, saves the settings and
// then writes every row; a failed save is reported and changes nothing.
TEST_P(ConfigDlgOk, SavesTheSettingsThenWritesEveryRow) {
    const Fault fault = GetParam();
    const QString folder = QFileInfo(m_sandbox.profile.filePath()).absolutePath();
    const QByteArray mountPoint = QFile::encodeName(folder);
    if (fault == Fault::FullDisk) {
        QDir().mkpath(folder);
        if (::mount("tmpfs", mountPoint.constData(), "tmpfs", 0, "size=4k") != 0) {
            GTEST_SKIP() << "no tmpfs can be mounted here";
        }
    }
    const auto unmount = qScopeGuard([&] { ::umount2(mountPoint.constData(), MNT_DETACH); });
    if (fault == Fault::FileWhereTheFolderBelongs) {
        WinePrefixFixture::write(folder, QByteArray("a file"));
    } else {
        SeedValidSettings("URL1=http://one.example/\nURL2=http://two.example/d3\n");
    }
    const QString wine = m_sandbox.prefix.root() + "/wine";
    std::optional<FakeWineServer> server;
    if (fault == Fault::WineFails) {
        server.emplace(m_sandbox.prefix.root() + "/server-root", m_sandbox.prefix.prefix());
        ASSERT_TRUE(server->locked());
        ASSERT_TRUE(WriteFakeWine(wine, wine + ".log", 1));
        m_sandbox.registry.setWineProgram(wine);
    }
    const QString iniBefore = m_sandbox.iniText();
    const QByteArray userReg = m_sandbox.userReg();
    auto dialog = Open(false);
    m_nextFile = m_game + "MAIN.EXE";
    QTimer::singleShot(0, dialog.get(), [&] {
        QTest::mouseClick(dialog->BrowseButton(), Qt::LeftButton);
        QTest::mouseClick(dialog->KeepAliveCheck(), Qt::LeftButton);
        for (int row = 0; row < 3; ++row) {
            ToggleCheck(*dialog, row);
            EXPECT_NE(dialog->AppList()->item(row)->checkState(), Qt::PartiallyChecked);
        }
        dialog->SiteList()->EditSite(1);
        dialog->SiteList()->Editor()->selectAll();
        QTest::keyClicks(dialog->SiteList()->Editor(), "http://typed.example/");
        QTest::mouseClick(dialog->OkButton(), Qt::LeftButton);
    });
    EXPECT_EQ(dialog->DoModal(), res::IDOK);

    const bool saved = fault == Fault::None || fault == Fault::WineFails;
    const QString error =
        "ERROR: Configuration could not be saved to [" + m_sandbox.profile.filePath() +
        "]: " + (fault == Fault::FullDisk ? "No space left on device." : "Not a directory.");
    EXPECT_EQ(dialog->GetSaveError(), saved ? "" : error);
    EXPECT_EQ(m_sandbox.iniText(),
              !saved ? iniBefore
                     : "[settings]\nVersion=" + QString(res::kVersionText) +
                           "\nD3 Executable Path=" + m_game +
                           "\nKeep Alive=1\n\n[MissionSites]\nURL1=http://typed.example/\n"
                           "URL2=http://two.example/d3/\n");
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(),
              fault == Fault::FileWhereTheFolderBelongs ? 0 : 1)
        << "no temporary file is left behind";
    const QString warning = "WARNING: Unable to save the launch settings of [%1].";
    EXPECT_EQ(dialog->GetWriteWarnings(),
              fault != Fault::WineFails
                  ? QStringList()
                  : QStringList({warning.arg("Kali 95 [Descent 3 Demo]"),
                                 warning.arg("Kali 95 [Descent 3]"), warning.arg("Kquery 4")}));
    if (fault != Fault::None) {
        EXPECT_EQ(m_sandbox.userReg(), userReg) << "front ends are written only after a save";
        return;
    }
    EXPECT_EQ(m_sandbox.stored(CFrontEnds::kKquery4Key, "game_desc3"),
              "C:\\Games\\Descent3\\main.exe");
    EXPECT_EQ(m_sandbox.stored(kKali, "GameExe"), "C:\\Tools\\torv");
    EXPECT_EQ(m_sandbox.stored(kKali + " Demo", "GameExe"), "C:\\Games\\Descent3\\main.exe");
}

INSTANTIATE_TEST_SUITE_P(Faults, ConfigDlgOk,
                         ::testing::Values(Fault::None, Fault::WineFails,
                                           Fault::FileWhereTheFolderBelongs, Fault::FullDisk),
                         [](const auto& info) { return kFaultNames[int(info.param)]; });

TEST_F(ConfigDlgTest, DefaultSiteIsAddedOnceAndChecked) {
    // What the settings file holds beside the game folder, and the sites the dialog shows.
    // clang-format off
    const std::pair<QString, QStringList> rows[] = {
        {"[MissionSites]\nURL1=http://a.example/\n", {"http://a.example/", CConfigDlg::kDefaultSite}},
        {"[MissionSites]\nURL1=HTTP://Missions.Example.com/descent3/levels/more/\n", {"HTTP://Missions.Example.com/descent3/levels/more/"}},
        {"Version=0.3 Beta\n", {}},  // later runs never add it
    };
    // clang-format on
    for (const auto& [ini, sites] : rows) {
        SCOPED_TRACE(ini.toStdString());
        m_checker.urls.clear();
        m_sandbox.seedIni("[settings]\nD3 Executable Path=" + m_game + "\n" + ini);
        auto dialog = Open();
        EXPECT_EQ(dialog->SiteList()->Sites(), sites);
        EXPECT_EQ(m_checker.urls, sites) << "checked like any other site";
        QTest::mouseClick(dialog->OkButton(), Qt::LeftButton);
        ASSERT_EQ(dialog->result(), QDialog::Accepted);
        // Saved like any other site, and not added again.
        EXPECT_EQ(Open()->SiteList()->Sites(), sites);
    }
}

struct KeyRow {
    const char* name;
    int focus;  // control id
    Qt::Key key;
    int result;  // QDialog::Accepted / Rejected, or -1 while still open (browsing)
};

TEST_F(ConfigDlgTest, ReturnActsOnTheFocusedButtonElseOnOk) {
    // clang-format off
    const KeyRow rows[] = {
        {"ReturnOnCancelCancels", res::IDCANCEL, Qt::Key_Return, QDialog::Rejected},
        {"ReturnOnBrowseBrowses", res::IDC_BROWSE, Qt::Key_Return, -1},
        {"ReturnOnTheApplicationsIsOk", res::IDC_APPLIST, Qt::Key_Return, QDialog::Accepted},
        {"EscOnBrowseCancels", res::IDC_BROWSE, Qt::Key_Escape, QDialog::Rejected},
    };
    // clang-format on
    for (const KeyRow& row : rows) {
        SCOPED_TRACE(row.name);
        SeedValidSettings();
        const QString before = m_sandbox.iniText();
        const QByteArray userReg = m_sandbox.userReg();
        auto dialog = Open();
        QApplication::setActiveWindow(dialog.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
        QTest::mouseClick(dialog->KeepAliveCheck(), Qt::LeftButton);
        ToggleCheck(*dialog, 0);
        QWidget* focus = res::DialogControl(*dialog, row.focus);
        focus->setFocus(Qt::TabFocusReason);
        ASSERT_EQ(QApplication::focusWidget(), focus);
        m_nextFile = "main.exe";  // no folder: the dialog shows it has none
        QTest::keyClick(focus, row.key);
        EXPECT_EQ(dialog->PathEdit()->text() == kInvalid, row.result == -1) << "browsed";
        EXPECT_EQ(dialog->isVisible() ? -1 : dialog->result(), row.result);
        // Only OK writes the settings and the front ends.
        const bool saved = row.result == QDialog::Accepted;
        EXPECT_EQ(m_sandbox.iniText() != before, saved);
        EXPECT_EQ(m_sandbox.userReg() != userReg, saved);
    }
}

TEST_F(ConfigDlgTest, FileDialogOpensWhereTheGameIsLikelyAndListsEveryGameProgram) {
    // The folder the real file dialog opens in when the stored folder is this one.
    const auto startFolder = [&](const QString& stored) {
        m_sandbox.seedIni("[settings]\nD3 Executable Path=" + stored + "\n");
        auto dialog = Open();
        dialog->SetFileChooser({});
        QString shown = "<no file dialog>";
        QTimer::singleShot(0, dialog.get(), [&] {
            auto* files = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(files, nullptr);
            shown = files->directory().canonicalPath();
            EXPECT_EQ(files->nameFilters(),
                      QStringList({"Descent 3 Executable (main.exe Descent3.exe Descent3)"}));
            EXPECT_TRUE(files->filter().testFlag(QDir::Hidden)) << "so that ~/.wine is listed";
            files->reject();
        });
        QTest::mouseClick(dialog->BrowseButton(), Qt::LeftButton);
        return shown;
    };
    const QString other = m_sandbox.prefix.makeFolder("elsewhere/not-a-game");
    EXPECT_EQ(startFolder(other + "/"), QDir(other).canonicalPath()) << "even without the game";
    EXPECT_EQ(startFolder(""), QDir(m_sandbox.prefix.driveC()).canonicalPath());
    // Without a Wine prefix, the home folder.
    const SteamFixture steam;  // HOME is its home folder while it lives
    m_sandbox.registry = platform::WineRegistry(m_sandbox.prefix.root() + "/no-prefix");
    EXPECT_EQ(startFolder("/nowhere/"), QDir(steam.home()).canonicalPath());
}

}  // namespace
}  // namespace torv::test
