// A whole run of the tool without arguments, in this process on the offscreen platform: its own
// config home and Wine prefix, the configuration dialog answered as a user would, then the
// profile and the front end's settings read back from their files.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

#include "app/LauncherDlg.h"
#include "app/TorvMain.h"
#include "app/recorders.h"
#include "common/TokenList.h"
#include "platform/WineRegistry.h"
#include "platform/wine_prefix_fixture.h"
#include "settings/ConfigDlg.h"
#include "support/http_server.h"

namespace torv {
namespace {

using platform::WineRegistry;

// Sets an environment variable for the life of the object.
struct ScopedEnv {
    ScopedEnv(const char* name, const QString& value)
        : name(name), had(qEnvironmentVariableIsSet(name)), old(qgetenv(name)) {
        qputenv(name, value.toLocal8Bit());
    }
    ~ScopedEnv() { had ? qputenv(name, old) : qunsetenv(name); }

    const char* name;
    bool had;
    QByteArray old;
};

template <typename T>
T* visibleWindow() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* window = qobject_cast<T*>(widget); window != nullptr && window->isVisible()) {
            return window;
        }
    }
    return nullptr;
}

struct EndRow {
    const char* name;
    bool ok;                 // OK, else Cancel
    bool folderBecomesFile;  // the settings folder turns into a file before the answer
    const char* line;        // the run's last line; "$CONFIG" is the config home
    const char* frontEnd;    // the front end's program afterwards
};

class ConfigurationRunTest : public testing::TestWithParam<EndRow> {
protected:
    ConfigurationRunTest()
        : m_config(m_prefix.root() + "/config"),
          m_env{{"XDG_CONFIG_HOME", m_config}, {"WINEPREFIX", m_prefix.prefix()}} {
        const QString game = m_prefix.driveC() + "/Games/Descent3/";
        test::WinePrefixFixture::write(game + "MAIN.EXE", QByteArray("MZ"));
        test::WinePrefixFixture::write(m_config + "/Quillfen/torv.ini",
                                       "[settings]\nVersion=0.3 Beta\nD3 Executable Path=" + game +
                                           "\nKeep Alive=0\n\n[MissionSites]\nURL1=" +
                                           QString::fromStdString(m_site.url("/levels/")) + "\n");
        m_prefix.writeUserReg(
            "[Software\\\\coldstorage\\\\Kquery4] 1700000005\n"
            "\"game_desc3\"=\"C:\\\\Games\\\\Descent3\\\\Main.exe\"\n"
            "\"game_desc3_params\"=\"-foo -getmission abc -rund3 -bar\"\n");
    }

    test::WinePrefixFixture m_prefix;
    test::HttpServer m_site;
    QString m_config;
    ScopedEnv m_env[2];
};

// Runs the tool as main() would, answers the configuration dialog once it shows, then closes the
// main window like a user would; gives up after ten seconds. What the dialog writes is
// config_dlg_test's; here, that the run shows it, logs its end and writes the front end it found.
TEST_P(ConfigurationRunTest, TheDialogsEndIsLoggedAndOkPointsTheFrontEndAtTheTool) {
    const EndRow& row = GetParam();
    QStringList log;
    bool answered = false;
    int ticks = 0;
    QTimer driver;
    QObject::connect(&driver, &QTimer::timeout, [&] {
        if (++ticks > 200) {
            ADD_FAILURE() << "the run did not end";
            for (QWidget* w : QApplication::topLevelWidgets()) {
                w->close();
            }
            driver.stop();
        } else if (auto* dialog = visibleWindow<CConfigDlg>(); dialog != nullptr && !answered) {
            answered = true;
            ASSERT_EQ(dialog->AppList()->count(), 1);
            dialog->SetOwnExecutable("/usr/local/bin/torv");
            dialog->SetCheck(0, 1);
            if (row.folderBecomesFile) {
                ASSERT_TRUE(QDir(m_config + "/Quillfen").removeRecursively());
                test::WinePrefixFixture::write(m_config + "/Quillfen", QByteArray("not a folder"));
            }
            row.ok ? dialog->OkButton()->click() : dialog->reject();
        } else if (auto* window = visibleWindow<CLauncherDlg>();
                   window != nullptr && answered && visibleWindow<CConfigDlg>() == nullptr) {
            for (int i = 0; i < window->LogList()->count(); ++i) {
                log << window->LogList()->item(i)->text();
            }
            window->reject();
            driver.stop();
        }
    });
    driver.start(50);
    const char* argv[] = {"torv"};
    CTokenList args;
    args.Fill(1, argv);
    EXPECT_EQ(RunTorv(args, "torv", true), 0);

    EXPECT_EQ(log, QStringList({"Torvane Auto-download Tool by Quillfen.",
                                "Entering configuration mode...",
                                QString(row.line).replace("$CONFIG", m_config)}));
    EXPECT_EQ(WineRegistry(m_prefix.prefix())
                  .readString(WineRegistry::Hive::CurrentUser, "Software\\coldstorage\\Kquery4",
                              "game_desc3"),
              row.frontEnd);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Answers, ConfigurationRunTest, testing::Values(
    EndRow{"Ok", true, false, "Configuration changes saved.", "Z:\\usr\\local\\bin\\torv"},
    EndRow{"Cancel", false, false, "Configuration changes discarded.", "C:\\Games\\Descent3\\Main.exe"},
    EndRow{"FailedSave", true, true, "ERROR: Configuration could not be saved to [$CONFIG/Quillfen/torv.ini]: Not a directory.",
           "C:\\Games\\Descent3\\Main.exe"}),
    test::kByName);
// clang-format on

}  // namespace
}  // namespace torv
