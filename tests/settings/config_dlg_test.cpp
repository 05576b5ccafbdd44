#include "settings/ConfigDlg.h"

#include <gtest/gtest.h>

#include <sys/mount.h>
#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTest>
#include <QTimer>
#include <memory>
#include <vector>

#include "platform/Profile.h"
#include "platform/WineRegistry.h"
#include "platform/fake_wine_server.h"
#include "platform/wine_prefix_fixture.h"
#include "res/DialogBuilder.h"
#include "res/DialogTemplates.h"
#include "res/Version.h"
#include "settings/LauncherSettings.h"
#include "sitelist/SiteEdit.h"
#include "sitelist/SiteListBox.h"
#include "workers/SiteChecker.h"

namespace torv {
namespace {

using platform::WineRegistry;
using test::WinePrefixFixture;

const QString kInvalid = QStringLiteral("<invalid d3 path, please correct>");

// Takes the site checks instead of a worker thread.
class RecordingChecker : public ISiteChecker {
public:
    void PostCheckSite(QObject*, std::unique_ptr<CSiteCheckRequest> request) override {
        urls.append(request->m_strUrl);
    }
    void PostQuit() override {}
    QStringList urls;
};

// A user's machine in a folder: a profile, a Wine prefix whose drive C: holds the game
// (Games/Descent3/MAIN.EXE) and this tool (Tools/torv), and the front ends' settings.
class ConfigDlgTest : public ::testing::Test {
protected:
    ConfigDlgTest()
        : m_profile(m_prefix.root() + "/config/Quillfen/torv.ini"), m_registry(m_prefix.prefix()) {
        m_game = m_prefix.driveC() + "/Games/Descent3/";
        WinePrefixFixture::write(m_game + "MAIN.EXE", QByteArray("MZ"));
        m_ownExe = m_prefix.driveC() + "/Tools/torv";
        WinePrefixFixture::write(m_ownExe, QByteArray("x"));
        m_serverRoot = m_prefix.makeFolder("server-root");
        m_registry.setServerRoot(m_serverRoot);
        m_registry.setWineProgram(m_prefix.root() + "/no-wine");
        m_prefix.writeUserReg(
            "[Software\\\\coldstorage\\\\Kquery4] 1700000005\n"
            "\"game_desc3\"=\"C:\\\\KQ\\\\Launcher.exe\"\n"
            "\"game_desc3_params\"=\"-x -getmission old -rund3\"\n\n"
            "[Software\\\\Kali\\\\Kali95\\\\Games\\\\Descent 3] 1700000006\n"
            "\"GameExe\"=\"C:\\\\D3\\\\Main.exe\"\n"
            "\"CmdLineOpts\"=\"-nointro\"\n\n"
            "[Software\\\\Kali\\\\Kali95\\\\Games\\\\Descent 3 Demo] 1700000007\n"
            "\"GameExe\"=\"Z:\\\\opt\\\\torv.exe\"\n"
            "\"CmdLineOpts\"=\"-demo -getmission {mapname} -rund3\"\n");
    }

    void SeedIni(const QString& text) { WinePrefixFixture::write(m_profile.filePath(), text); }
    QString Ini() const { return QString::fromUtf8(WinePrefixFixture::read(m_profile.filePath())); }
    QByteArray UserReg() const { return WinePrefixFixture::read(m_prefix.prefix() + "/user.reg"); }
    QString Stored(const QString& key, const QString& name) const {
        return WineRegistry(m_prefix.prefix())
            .readString(WineRegistry::Hive::CurrentUser, key, name)
            .value_or("<none>");
    }
    void SeedValidSettings(const QString& sites = "URL1=http://one.example/\n") {
        SeedIni("[settings]\nVersion=0.3 Beta\nD3 Executable Path=" + m_game +
                "\nKeep Alive=0\n\n[MissionSites]\n" + sites);
    }

    // The dialog, shown (which initialises it) unless show is false.
    std::unique_ptr<CConfigDlg> Open(bool show = true) {
        m_settings = std::make_unique<CLauncherSettings>(m_profile, m_registry);
        auto dialog =
            std::make_unique<CConfigDlg>(m_settings.get(), m_registry, &m_checker, nullptr);
        dialog->SetOwnExecutable(m_ownExe);
        dialog->SetFileChooser([this](QWidget* parent) {
            ++m_chooserCalls;
            EXPECT_NE(parent, nullptr);
            return m_nextFile;
        });
        if (show) {
            dialog->show();
            EXPECT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
        }
        return dialog;
    }

    static QPushButton* Button(CConfigDlg& dialog, int id) {
        return dialog.findChild<QPushButton*>(QStringLiteral("ctl%1").arg(id));
    }
    static int Row(CConfigDlg& dialog, const QString& text) {
        const auto items = dialog.AppList()->findItems(text, Qt::MatchExactly);
        return items.isEmpty() ? -1 : dialog.AppList()->row(items.first());
    }
    // A click on the row's check box, where a user clicks.
    static void ClickCheck(CConfigDlg& dialog, int row) {
        QListWidget* list = dialog.AppList();
        QStyleOptionViewItem option;
        option.initFrom(list);
        option.rect = list->visualItemRect(list->item(row));
        option.features |= QStyleOptionViewItem::HasCheckIndicator;
        const QRect box =
            list->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, list);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, box.center());
    }
    static bool RowEnabled(CConfigDlg& dialog, int row) {
        return dialog.AppList()->item(row)->flags().testFlag(Qt::ItemIsEnabled);
    }

    WinePrefixFixture m_prefix;
    platform::Profile m_profile;
    WineRegistry m_registry;
    std::unique_ptr<CLauncherSettings> m_settings;
    RecordingChecker m_checker;
    QString m_game;
    QString m_ownExe;
    QString m_serverRoot;
    QString m_nextFile;
    int m_chooserCalls = 0;
};

TEST_F(ConfigDlgTest, NoSettingsAndNoGameShowTheInvalidFolderAndCancelWorks) {
    const QByteArray userReg = UserReg();
    auto dialog = Open();
    EXPECT_EQ(dialog->windowTitle(), "Torvane Configuration");
    EXPECT_EQ(dialog->PathEdit()->text(), kInvalid);
    EXPECT_TRUE(dialog->PathEdit()->isReadOnly());
    EXPECT_FALSE(dialog->OkButton()->isEnabled());
    ASSERT_EQ(dialog->AppList()->count(), 3);
    const int kquery = Row(*dialog, "Kquery 4");
    for (int row = 0; row < 3; ++row) {
        EXPECT_FALSE(RowEnabled(*dialog, row)) << row;
    }
    // A disabled row ignores clicks; Enter does not save past the disabled OK.
    ClickCheck(*dialog, kquery);
    EXPECT_EQ(dialog->GetCheck(kquery), 2);
    QTest::keyClick(dialog.get(), Qt::Key_Return);
    EXPECT_TRUE(dialog->isVisible());

    QTest::mouseClick(Button(*dialog, res::IDCANCEL), Qt::LeftButton);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_FALSE(QFile::exists(m_profile.filePath()));
    EXPECT_EQ(UserReg(), userReg);
}

struct BrowseRow {
    const char* name;
    bool startValid;
    QString choice;  // relative to the prefix's drive C:, with "@" for its full path
    bool valid;      // afterwards
    QString shown;   // "@game" for the game folder
};

class ConfigDlgBrowse : public ConfigDlgTest, public ::testing::WithParamInterface<BrowseRow> {};

TEST_P(ConfigDlgBrowse, BrowseShowsTheChosenFilesFolderWhenItHoldsTheGame) {
    const BrowseRow& row = GetParam();
    WinePrefixFixture::write(m_prefix.driveC() + "/Other/setup.exe", QByteArray("MZ"));
    if (row.startValid) {
        SeedValidSettings();
    }
    auto dialog = Open();
    const QString before = Ini();
    m_nextFile = QString(row.choice).replace("@", m_prefix.driveC());
    QTest::mouseClick(dialog->BrowseButton(), Qt::LeftButton);
    EXPECT_EQ(m_chooserCalls, 1);
    EXPECT_EQ(dialog->PathEdit()->text(), row.shown == "@game" ? m_game : row.shown);
    EXPECT_EQ(dialog->OkButton()->isEnabled(), row.valid);
    for (int r = 0; r < dialog->AppList()->count(); ++r) {
        EXPECT_EQ(RowEnabled(*dialog, r), row.valid) << r;
    }
    // Nothing is stored before OK.
    EXPECT_EQ(Ini(), before);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Choices, ConfigDlgBrowse,
    ::testing::Values(
        BrowseRow{"GameFolderEnablesOkAndRows", false, "@/Games/Descent3/MAIN.EXE", true, "@game"},
        BrowseRow{"BlanksBeforeThePathAreDropped", false, "  @/Games/Descent3/main.exe", true, "@game"},
        BrowseRow{"FolderWithoutTheGameDisablesOkAgain", true, "@/Other/setup.exe", false, kInvalid},
        BrowseRow{"CancelledWhileValidChangesNothing", true, "", true, "@game"},
        BrowseRow{"PathWithoutAFolderIsNoGame", true, "main.exe", false, kInvalid}),
    [](const ::testing::TestParamInfo<BrowseRow>& info) { return std::string(info.param.name); });
// clang-format on

TEST_F(ConfigDlgTest, OkSavesTheIniAUserExpectsAndWritesEveryRow) {
    SeedValidSettings("URL1=http://one.example/\nURL2=http://two.example/d3\n");
    auto dialog = Open(false);
    int result = 0;
    QTimer::singleShot(0, dialog.get(), [&] {
        QTest::mouseClick(dialog->KeepAliveCheck(), Qt::LeftButton);
        QTest::mouseClick(dialog->OkButton(), Qt::LeftButton);
    });
    result = dialog->DoModal();
    EXPECT_EQ(result, res::IDOK);
    EXPECT_EQ(Ini(),
              "[settings]\n"
              "Version=" + QString(res::kVersionText) + "\n"
              "D3 Executable Path=" +
                  m_game +
                  "\n"
                  "Keep Alive=1\n"
                  "\n"
                  "[MissionSites]\n"
                  "URL1=http://one.example/\n"
                  "URL2=http://two.example/d3/\n");
    EXPECT_TRUE(dialog->GetWriteWarnings().isEmpty());
    // Unchanged rows are written all the same: the indeterminate one as read (lower case),
    // the unchecked one to the game folder, the checked one to this tool.
    EXPECT_EQ(Stored("Software\\coldstorage\\Kquery4", "game_desc3"), "c:\\kq\\launcher.exe");
    EXPECT_EQ(Stored("Software\\coldstorage\\Kquery4", "game_desc3_params"),
              "-x -getmission old -rund3");
    const QString kali = "Software\\Kali\\Kali95\\Games\\Descent 3";
    EXPECT_EQ(Stored(kali, "GameExe"), "C:\\Games\\Descent3\\main.exe");
    EXPECT_EQ(Stored(kali, "CmdLineOpts"), "-nointro");
    EXPECT_EQ(Stored(kali + " Demo", "GameExe"), "C:\\Tools\\torv");
    EXPECT_EQ(Stored(kali + " Demo", "CmdLineOpts"), "-demo -getmission {mapname} -rund3");
}

TEST_F(ConfigDlgTest, CancelWritesNothingWhateverWasChanged) {
    SeedValidSettings();
    const QString ini = Ini();
    const QByteArray userReg = UserReg();
    auto dialog = Open(false);
    QTimer::singleShot(0, dialog.get(), [&] {
        QTest::mouseClick(dialog->KeepAliveCheck(), Qt::LeftButton);
        ClickCheck(*dialog, Row(*dialog, "Kquery 4"));
        dialog->SiteList()->AppendSite("http://new.example/");
        m_nextFile = m_game + "main.exe";
        QTest::mouseClick(dialog->BrowseButton(), Qt::LeftButton);
        QTest::mouseClick(Button(*dialog, res::IDCANCEL), Qt::LeftButton);
    });
    EXPECT_EQ(dialog->DoModal(), res::IDCANCEL);
    EXPECT_EQ(Ini(), ini);
    EXPECT_EQ(UserReg(), userReg);
}

struct FirstRunRow {
    const char* name;
    QString ini;
    QStringList sitesShown;
};

class ConfigDlgFirstRun : public ConfigDlgTest,
                          public ::testing::WithParamInterface<FirstRunRow> {};

TEST_P(ConfigDlgFirstRun, DefaultSiteIsAddedOnceAndChecked) {
    const FirstRunRow& row = GetParam();
    SeedIni(QString(row.ini).replace("@game", m_game));
    auto dialog = Open();
    EXPECT_EQ(dialog->SiteList()->Sites(), row.sitesShown);
    // Checked like any other site.
    EXPECT_EQ(m_checker.urls, row.sitesShown);
    QTest::mouseClick(dialog->OkButton(), Qt::LeftButton);
    ASSERT_EQ(dialog->result(), QDialog::Accepted);

    // Saved like any other site, and not added again.
    m_checker.urls.clear();
    auto again = Open();
    EXPECT_EQ(again->SiteList()->Sites(), row.sitesShown);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Runs, ConfigDlgFirstRun,
    ::testing::Values(
        FirstRunRow{"FirstRunAddsIt", "[settings]\nD3 Executable Path=@game\n", {CConfigDlg::kDefaultSite}},
        FirstRunRow{"FirstRunAddsItAfterTheStoredSites", "[settings]\nD3 Executable Path=@game\n[MissionSites]\nURL1=http://a.example/\n", {"http://a.example/", CConfigDlg::kDefaultSite}},
        FirstRunRow{"StoredSiteBeginningWithItInAnyCase", "[settings]\nD3 Executable Path=@game\n[MissionSites]\nURL1=HTTP://Missions.Example.com/descent3/levels/more/\n", {"HTTP://Missions.Example.com/descent3/levels/more/"}},
        FirstRunRow{"LaterRunsNeverAddIt", "[settings]\nVersion=0.3 Beta\nD3 Executable Path=@game\n", {}}),
    [](const ::testing::TestParamInfo<FirstRunRow>& info) { return std::string(info.param.name); });
// clang-format on

TEST_F(ConfigDlgTest, OkWhileASiteIsBeingEditedKeepsTheEdit) {
    SeedValidSettings();
    auto dialog = Open();
    dialog->SiteList()->EditSite(1);
    ASSERT_TRUE(dialog->SiteList()->IsEditing());
    dialog->SiteList()->Editor()->selectAll();
    QTest::keyClicks(dialog->SiteList()->Editor(), "http://typed.example/");
    QTest::mouseClick(dialog->OkButton(), Qt::LeftButton);
    ASSERT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_TRUE(Ini().contains("URL1=http://typed.example/\n")) << Ini().toStdString();
    EXPECT_FALSE(Ini().contains("one.example"));
}

struct CycleRow {
    const char* name;
    QString row;
    int shown;
    std::vector<int> afterEachClick;
};

class ConfigDlgChecks : public ConfigDlgTest, public ::testing::WithParamInterface<CycleRow> {};

TEST_P(ConfigDlgChecks, ClicksSwitchOnlyBetweenUncheckedAndChecked) {
    SeedValidSettings();
    auto dialog = Open();
    const CycleRow& row = GetParam();
    const int r = Row(*dialog, row.row);
    ASSERT_GE(r, 0);
    EXPECT_EQ(dialog->GetCheck(r), row.shown);
    for (size_t i = 0; i < row.afterEachClick.size(); ++i) {
        // Mouse and space bar alike.
        if (i % 2 == 0) {
            ClickCheck(*dialog, r);
        } else {
            dialog->AppList()->setCurrentRow(r);
            QTest::keyClick(dialog->AppList(), Qt::Key_Space);
        }
        EXPECT_EQ(dialog->GetCheck(r), row.afterEachClick[i]) << "click " << i;
        EXPECT_NE(dialog->AppList()->item(r)->checkState(), Qt::PartiallyChecked);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cycles, ConfigDlgChecks,
    ::testing::Values(CycleRow{"IndeterminateBecomesUnchecked", "Kquery 4", 2, {0, 1, 0, 1}},
                      CycleRow{"UncheckedBecomesChecked", "Kali 95 [Descent 3]", 0, {1, 0, 1}},
                      CycleRow{"CheckedBecomesUnchecked", "Kali 95 [Descent 3 Demo]", 1, {0, 1}}),
    [](const ::testing::TestParamInfo<CycleRow>& info) { return std::string(info.param.name); });

TEST_F(ConfigDlgTest, RowsSwitchedByTheUserAreWrittenAtOk) {
    SeedValidSettings();
    auto dialog = Open();
    ClickCheck(*dialog, Row(*dialog, "Kquery 4"));             // indeterminate -> unchecked
    ClickCheck(*dialog, Row(*dialog, "Kali 95 [Descent 3]"));  // unchecked -> checked
    QTest::mouseClick(dialog->OkButton(), Qt::LeftButton);
    ASSERT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(Stored("Software\\coldstorage\\Kquery4", "game_desc3"),
              "C:\\Games\\Descent3\\main.exe");
    EXPECT_EQ(Stored("Software\\coldstorage\\Kquery4", "game_desc3_params"), "-x");
    const QString kali = "Software\\Kali\\Kali95\\Games\\Descent 3";
    EXPECT_EQ(Stored(kali, "GameExe"), "C:\\Tools\\torv");
    EXPECT_EQ(Stored(kali, "CmdLineOpts"), "-nointro -getmission {mapname} -rund3");

    // The next opening shows what was saved.
    auto again = Open();
    EXPECT_EQ(again->GetCheck(Row(*again, "Kquery 4")), 0);
    EXPECT_EQ(again->GetCheck(Row(*again, "Kali 95 [Descent 3]")), 1);
}

TEST_F(ConfigDlgTest, FrontEndsThatCannotBeWrittenAreReportedAfterOk) {
    SeedValidSettings();
    test::FakeWineServer server(m_serverRoot, m_prefix.prefix());
    ASSERT_TRUE(server.locked());
    ASSERT_TRUE(test::WriteFakeWine(m_prefix.root() + "/wine", m_prefix.root() + "/wine.log", 1));
    m_registry.setWineProgram(m_prefix.root() + "/wine");
    auto dialog = Open();
    QTest::mouseClick(dialog->OkButton(), Qt::LeftButton);
    ASSERT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(
        dialog->GetWriteWarnings(),
        QStringList({"WARNING: Unable to save the launch settings of [Kali 95 [Descent 3 Demo]].",
                     "WARNING: Unable to save the launch settings of [Kali 95 [Descent 3]].",
                     "WARNING: Unable to save the launch settings of [Kquery 4]."}));
    // The tool's own settings are saved all the same.
    EXPECT_TRUE(Ini().contains("Version=" + QString(res::kVersionText)));
}

TEST_F(ConfigDlgTest, KeepAliveShowsTheStoredFlag) {
    SeedIni("[settings]\nVersion=0.3 Beta\nD3 Executable Path=" + m_game + "\nKeep Alive=5\n");
    auto dialog = Open();
    EXPECT_TRUE(dialog->KeepAliveCheck()->isChecked());
    EXPECT_EQ(dialog->PathEdit()->text(), m_game);
    EXPECT_TRUE(dialog->OkButton()->isEnabled());
}

struct ReturnRow {
    const char* name;
    int focus;  // control id
    Qt::Key key;
    int result;  // QDialog::Accepted / Rejected, or -1 while still open
    int browses;
};

class ConfigDlgKeys : public ConfigDlgTest, public ::testing::WithParamInterface<ReturnRow> {};

// The user ticks Keep Alive, moves the focus and presses a key: only OK may save that.
TEST_P(ConfigDlgKeys, ReturnActsOnTheFocusedButtonElseOnOk) {
    const ReturnRow& row = GetParam();
    SeedValidSettings();
    const QString before = Ini();
    auto dialog = Open();
    QApplication::setActiveWindow(dialog.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
    QTest::mouseClick(dialog->KeepAliveCheck(), Qt::LeftButton);
    QWidget* focus = res::DialogControl(*dialog, row.focus);
    focus->setFocus(Qt::TabFocusReason);
    ASSERT_EQ(QApplication::focusWidget(), focus);
    QTest::keyClick(focus, row.key);
    EXPECT_EQ(m_chooserCalls, row.browses);
    EXPECT_EQ(dialog->isVisible(), row.result < 0);
    if (row.result >= 0) {
        EXPECT_EQ(dialog->result(), row.result);
    }
    EXPECT_EQ(Ini().contains("Keep Alive=1"), row.result == QDialog::Accepted)
        << Ini().toStdString();
    if (row.result != QDialog::Accepted) {
        EXPECT_EQ(Ini(), before);
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Keys, ConfigDlgKeys,
    ::testing::Values(
        ReturnRow{"ReturnOnCancelCancels", res::IDCANCEL, Qt::Key_Return, QDialog::Rejected, 0},
        ReturnRow{"KeypadEnterOnCancelCancels", res::IDCANCEL, Qt::Key_Enter, QDialog::Rejected, 0},
        ReturnRow{"ReturnOnBrowseBrowses", res::IDC_BROWSE, Qt::Key_Return, -1, 1},
        ReturnRow{"ReturnOnOkSaves", res::IDOK, Qt::Key_Return, QDialog::Accepted, 0},
        ReturnRow{"ReturnOnTheCheckBoxIsOk", res::IDC_KEEPALIVE, Qt::Key_Return, QDialog::Accepted, 0},
        ReturnRow{"ReturnOnTheApplicationsIsOk", res::IDC_APPLIST, Qt::Key_Return, QDialog::Accepted, 0},
        ReturnRow{"EscOnBrowseCancels", res::IDC_BROWSE, Qt::Key_Escape, QDialog::Rejected, 0}),
    [](const ::testing::TestParamInfo<ReturnRow>& info) { return std::string(info.param.name); });
// clang-format on

// A tmpfs over a folder for the life of the object; not mounted when the system refuses.
class TinyTmpfs {
public:
    explicit TinyTmpfs(const QString& folder) : m_folder(QFile::encodeName(folder)) {
        QDir().mkpath(folder);
        m_mounted = ::mount("tmpfs", m_folder.constData(), "tmpfs", 0, "size=4k") == 0;
    }
    ~TinyTmpfs() {
        if (m_mounted) {
            ::umount2(m_folder.constData(), MNT_DETACH);
        }
    }
    bool mounted() const { return m_mounted; }

private:
    QByteArray m_folder;
    bool m_mounted = false;
};

struct SaveFailureRow {
    const char* name;
    bool fullDisk;  // else a file stands where the settings folder belongs
    QString reason;
};

class ConfigDlgSaveFailure : public ConfigDlgTest,
                             public ::testing::WithParamInterface<SaveFailureRow> {};

TEST_P(ConfigDlgSaveFailure, FailedSaveIsReportedAndChangesNothing) {
    const SaveFailureRow& row = GetParam();
    const QString folder = QFileInfo(m_profile.filePath()).absolutePath();
    std::unique_ptr<TinyTmpfs> disk;
    if (row.fullDisk) {
        disk = std::make_unique<TinyTmpfs>(folder);
        if (!disk->mounted()) {
            GTEST_SKIP() << "no tmpfs can be mounted here";
        }
        // Fills the one page the file system has.
        SeedValidSettings("URL1=http://one.example/\nURL2=http://two.example/\n");
    } else {
        WinePrefixFixture::write(folder, QByteArray("a file"));
    }
    const QByteArray iniBefore = WinePrefixFixture::read(m_profile.filePath());
    const QByteArray userReg = UserReg();
    auto dialog = Open();
    m_nextFile = m_game + "MAIN.EXE";
    QTest::mouseClick(dialog->BrowseButton(), Qt::LeftButton);
    dialog->SiteList()->AppendSite("http://three.example/");
    QTest::mouseClick(dialog->KeepAliveCheck(), Qt::LeftButton);
    QTest::mouseClick(dialog->OkButton(), Qt::LeftButton);

    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->GetSaveError(), "ERROR: Configuration could not be saved to [" +
                                          m_profile.filePath() + "]: " + row.reason + ".");
    EXPECT_EQ(WinePrefixFixture::read(m_profile.filePath()), iniBefore);
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), row.fullDisk ? 1 : 0)
        << "no temporary file is left behind";
    EXPECT_EQ(UserReg(), userReg) << "front ends are written only after a successful save";
}

INSTANTIATE_TEST_SUITE_P(
    Places, ConfigDlgSaveFailure,
    ::testing::Values(SaveFailureRow{"FileWhereTheFolderBelongs", false, "Not a directory"},
                      SaveFailureRow{"FullDisk", true, "No space left on device"}),
    [](const ::testing::TestParamInfo<SaveFailureRow>& info) {
        return std::string(info.param.name);
    });

struct StartRow {
    const char* name;
    QString ini;    // "@game" for the game folder, "@other" for a folder without the game
    bool driveC;    // the Wine prefix has its drive C:
    QString start;  // "@game", "@other", "@driveC" or "@home"
};

class ConfigDlgBrowseStart : public ConfigDlgTest,
                             public ::testing::WithParamInterface<StartRow> {};

TEST_P(ConfigDlgBrowseStart, FileDialogOpensWhereTheGameIsLikelyAndListsEveryGameProgram) {
    const StartRow& row = GetParam();
    const QString other = m_prefix.makeFolder("elsewhere/not-a-game");
    const QString home = m_prefix.makeFolder("home");
    const QByteArray oldHome = qgetenv("HOME");
    qputenv("HOME", QFile::encodeName(home));
    if (!row.driveC) {
        m_registry = WineRegistry(m_prefix.root() + "/no-prefix");
    }
    SeedIni(QString(row.ini).replace("@game", m_game).replace("@other", other + "/"));
    auto dialog = Open();
    dialog->SetFileChooser({});  // the real file dialog

    QString shownFolder;
    QStringList filters;
    bool hidden = false;
    QTimer::singleShot(0, dialog.get(), [&] {
        auto* files = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(files, nullptr);
        shownFolder = files->directory().canonicalPath();
        filters = files->nameFilters();
        hidden = files->filter().testFlag(QDir::Hidden);
        files->reject();
    });
    QTest::mouseClick(dialog->BrowseButton(), Qt::LeftButton);
    qputenv("HOME", oldHome);

    QString expected = QString(row.start)
                           .replace("@game", m_game)
                           .replace("@other", other)
                           .replace("@driveC", m_prefix.driveC())
                           .replace("@home", home);
    EXPECT_EQ(shownFolder, QDir(expected).canonicalPath());
    EXPECT_EQ(filters, QStringList({"Descent 3 Executable (main.exe Descent3.exe Descent3)"}));
    EXPECT_TRUE(hidden) << "hidden folders such as ~/.wine are listed";
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Folders, ConfigDlgBrowseStart,
    ::testing::Values(
        StartRow{"TheGameFolder", "[settings]\nD3 Executable Path=@game\n", true, "@game"},
        StartRow{"AStoredFolderWithoutTheGame", "[settings]\nD3 Executable Path=@other\n", true, "@other"},
        StartRow{"DriveCWithoutAFolder", "", true, "@driveC"},
        StartRow{"HomeWithoutPrefix", "[settings]\nD3 Executable Path=/nowhere/\n", false, "@home"}),
    [](const ::testing::TestParamInfo<StartRow>& info) { return std::string(info.param.name); });
// clang-format on

TEST_F(ConfigDlgTest, LongGameFolderShowsItsEndAndTheWholePathAsTooltip) {
    const QString deep =
        m_prefix.driveC() + "/" + QString("very-long-folder-name/").repeated(6) + "Descent3 Final/";
    WinePrefixFixture::write(deep + "main.exe", QByteArray("MZ"));
    for (const bool browsed : {false, true}) {
        SCOPED_TRACE(browsed ? "after Browse" : "at opening");
        SeedIni(browsed ? "" : "[settings]\nVersion=0.4 Beta\nD3 Executable Path=" + deep + "\n");
        auto dialog = Open();
        if (browsed) {
            m_nextFile = deep + "main.exe";
            QTest::mouseClick(dialog->BrowseButton(), Qt::LeftButton);
        }
        QLineEdit* box = dialog->PathEdit();
        ASSERT_EQ(box->text(), deep);
        ASSERT_GT(box->fontMetrics().horizontalAdvance(deep), box->width());
        // The text's end is inside the box, its start is scrolled out to the left.
        EXPECT_EQ(box->cursorPosition(), deep.size());
        box->grab();  // scrolls as the next paint would
        const QRect cursor = box->inputMethodQuery(Qt::ImCursorRectangle).toRect();
        EXPECT_TRUE(box->rect().contains(cursor.center()));
        EXPECT_EQ(box->toolTip(), deep);
    }
}

}  // namespace
}  // namespace torv
