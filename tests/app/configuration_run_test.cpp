// A whole run of the tool without arguments, in this process on the offscreen platform: its own
// config home and Wine prefix, the configuration dialog answered as a user would, then the
// profile and the front end's settings read back from their files.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <functional>

#include "app/LauncherDlg.h"
#include "app/TorvMain.h"
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

class ConfigurationRunTest : public testing::Test {
protected:
    ConfigurationRunTest()
        : m_config(m_prefix.root() + "/config"),
          m_env{{"XDG_CONFIG_HOME", m_config}, {"WINEPREFIX", m_prefix.prefix()}} {
        m_game = m_prefix.driveC() + "/Games/Descent3/";
        test::WinePrefixFixture::write(m_game + "MAIN.EXE", QByteArray("MZ"));
        test::WinePrefixFixture::write(m_config + "/Quillfen/torv.ini",
                                       "[settings]\nVersion=0.3 Beta\nD3 Executable Path=" +
                                           m_game + "\nKeep Alive=0\n\n[MissionSites]\nURL1=" +
                                           QString::fromStdString(m_site.url("/levels/")) + "\n");
        m_prefix.writeUserReg(
            "[Software\\\\coldstorage\\\\Kquery4] 1700000005\n"
            "\"game_desc3\"=\"C:\\\\Games\\\\Descent3\\\\Main.exe\"\n"
            "\"game_desc3_params\"=\"-foo -getmission abc -rund3 -bar\"\n");
    }

    // Runs the tool as main() would; answer acts on the configuration dialog once it shows, then
    // the main window is closed like a user would. Gives up after ten seconds.
    QStringList runWithoutArguments(const std::function<void(CConfigDlg&)>& answer) {
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
                return;
            }
            if (auto* dialog = visibleWindow<CConfigDlg>(); dialog != nullptr && !answered) {
                answered = true;
                answer(*dialog);
                return;
            }
            if (auto* window = visibleWindow<CLauncherDlg>();
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
        return log;
    }

    QString frontEndValue(const QString& name) const {
        return WineRegistry(m_prefix.prefix())
            .readString(WineRegistry::Hive::CurrentUser, "Software\\coldstorage\\Kquery4", name)
            .value_or("<none>");
    }
    QString ini() const {
        return QString::fromUtf8(test::WinePrefixFixture::read(m_config + "/Quillfen/torv.ini"));
    }

    test::WinePrefixFixture m_prefix;
    test::HttpServer m_site;
    QString m_config;
    QString m_game;
    ScopedEnv m_env[2];
};

TEST_F(ConfigurationRunTest, OkSavesTheSettingsAndPointsTheFrontEndAtTheTool) {
    const QStringList log = runWithoutArguments([](CConfigDlg& dialog) {
        ASSERT_EQ(dialog.AppList()->count(), 1);
        EXPECT_EQ(dialog.GetCheck(0), 0) << "the front end starts the game";
        dialog.SetOwnExecutable("/usr/local/bin/torv");
        dialog.SetCheck(0, 1);
        dialog.OkButton()->click();
    });
    EXPECT_EQ(log, QStringList({"Torvane Auto-download Tool by Quillfen.",
                                "Entering configuration mode...", "Configuration changes saved."}));
    EXPECT_EQ(frontEndValue("game_desc3"), "Z:\\usr\\local\\bin\\torv");
    EXPECT_EQ(frontEndValue("game_desc3_params"), "-foo -bar -getmission %map% -rund3");
    EXPECT_TRUE(ini().contains("URL1=" + QString::fromStdString(m_site.url("/levels/"))));
}

// That Cancel and a failed save write nothing is config_dlg_test's; here, what the log says.
TEST_F(ConfigurationRunTest, CancelIsLogged) {
    const QStringList log = runWithoutArguments([](CConfigDlg& dialog) {
        dialog.SetCheck(0, 1);
        dialog.reject();
    });
    EXPECT_EQ(log.mid(2), QStringList({"Configuration changes discarded."}));
}

TEST_F(ConfigurationRunTest, FailedSaveIsLogged) {
    const QStringList log = runWithoutArguments([this](CConfigDlg& dialog) {
        // The settings folder turns into a file while the dialog is open.
        ASSERT_TRUE(QDir(m_config + "/Quillfen").removeRecursively());
        test::WinePrefixFixture::write(m_config + "/Quillfen", QByteArray("not a folder"));
        dialog.SetCheck(0, 1);
        dialog.OkButton()->click();
    });
    EXPECT_EQ(log.mid(2), QStringList({"ERROR: Configuration could not be saved to [" + m_config +
                                       "/Quillfen/torv.ini]: Not a directory."}));
}

}  // namespace
}  // namespace torv
