#include "settings/LauncherSettings.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <vector>

#include "res/Version.h"

#include "settings/settings_fixture.h"

namespace {

using torv::CLauncherSettings;
using torv::test::SettingsFixture;

class LauncherSettingsTest : public ::testing::Test {
protected:
    // The registry names the game on drive C: at Games/Descent3 (which holds main.exe).
    QString registerGame() {
        const QString folder = m_sandbox.gameFolder(QStringLiteral("Games/Descent3"));
        m_sandbox.prefix().writeSystemReg(
            QStringLiteral("[Software\\\\Wow6432Node\\\\Outrage\\\\Descent3] 1700000000\n"
                           "\"BaseDirectory\"=\"C:\\\\Games\\\\Descent3\"\n"));
        return folder;
    }

    SettingsFixture m_sandbox;
};

TEST_F(LauncherSettingsTest, FirstRunWithoutProfileOrGame) {
    CLauncherSettings settings(m_sandbox.profile(), m_sandbox.registry());
    EXPECT_EQ(settings.GetGameFolder(), QString());
    EXPECT_EQ(settings.GetSiteCount(), 0);
    EXPECT_EQ(settings.GetKeepAlive(), 0);
    EXPECT_TRUE(settings.IsFirstRun());
    EXPECT_FALSE(QFile::exists(m_sandbox.profile().filePath()));
}

TEST_F(LauncherSettingsTest, FirstRunStoresTheDiscoveredFolderWhileLoading) {
    const QString game = registerGame();
    CLauncherSettings settings(m_sandbox.profile(), m_sandbox.registry());
    EXPECT_EQ(settings.GetGameFolder(), game);
    EXPECT_TRUE(settings.IsFirstRun());
    // Stored even though nothing was saved: a cancelled dialog does not lose it.
    EXPECT_EQ(m_sandbox.iniText(), "[settings]\nD3 Executable Path=" + game + "\n");
}

struct FolderRow {
    const char* name;
    bool storeValidFolder;  // else a folder without main.exe is stored
    bool gameRegistered;
    bool expectDiscovered;  // else the stored text stays
};

class LauncherSettingsFolder : public LauncherSettingsTest,
                               public ::testing::WithParamInterface<FolderRow> {};

TEST_P(LauncherSettingsFolder, StoredFolderStaysUnlessDiscoveryFindsABetterOne) {
    const QString discovered = GetParam().gameRegistered ? registerGame() : QString();
    const QString stored = m_sandbox.gameFolder(QStringLiteral("Stored"),
                                                GetParam().storeValidFolder ? "MAIN.EXE" : "");
    const QString before = "[settings]\nD3 Executable Path=" + stored + "\n";
    m_sandbox.seedIni(before);

    CLauncherSettings settings(m_sandbox.profile(), m_sandbox.registry());
    if (GetParam().expectDiscovered) {
        EXPECT_EQ(settings.GetGameFolder(), discovered);
        EXPECT_EQ(m_sandbox.iniText(), "[settings]\nD3 Executable Path=" + discovered + "\n");
    } else {
        EXPECT_EQ(settings.GetGameFolder(), stored);
        EXPECT_EQ(m_sandbox.iniText(), before);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Load, LauncherSettingsFolder,
    ::testing::Values(FolderRow{"ValidStoredFolderWins", true, true, false},
                      FolderRow{"InvalidStoredFolderIsReplaced", false, true, true},
                      FolderRow{"InvalidStoredFolderStaysWithoutDiscovery", false, false, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(LauncherSettingsTest, SitesReadInFileOrderEachEndingInASlash) {
    m_sandbox.seedIni(
        "[MissionSites]\nURL3=http://c.example/levels\nURL1=http://a.example/\nURL2=\n"
        "URL4=  http://d.example/x  \n");
    CLauncherSettings settings(m_sandbox.profile(), m_sandbox.registry());
    ASSERT_EQ(settings.GetSiteCount(), 4);
    EXPECT_EQ(settings.GetSite(0), "http://c.example/levels/");
    EXPECT_EQ(settings.GetSite(1), "http://a.example/");
    EXPECT_EQ(settings.GetSite(2), "/");
    EXPECT_EQ(settings.GetSite(3), "http://d.example/x/");
    EXPECT_EQ(settings.GetSite(4), QString());
    EXPECT_EQ(settings.GetSite(-1), QString());
}

TEST_F(LauncherSettingsTest, KeepAliveReadsAsZeroOrOneAndIsSavedSo) {
    m_sandbox.seedIni("[settings]\nKeep Alive=5\n");
    CLauncherSettings settings(m_sandbox.profile(), m_sandbox.registry());
    EXPECT_EQ(settings.GetKeepAlive(), 1);
    settings.Save();
    EXPECT_EQ(m_sandbox.profile().getString("settings", "Keep Alive"), "1");

    settings.SetKeepAlive(7);
    EXPECT_EQ(settings.GetKeepAlive(), 7);
    settings.Save();
    EXPECT_EQ(m_sandbox.profile().getString("settings", "Keep Alive"), "1");
}

TEST_F(LauncherSettingsTest, SaveWritesTheFileAUserExpects) {
    CLauncherSettings settings(m_sandbox.profile(), m_sandbox.registry());
    ASSERT_TRUE(settings.IsFirstRun() || settings.GetSiteCount() == 0);
    settings.SetGameFolder("/games/descent3/");
    settings.ClearSites();
    settings.AddSite("http://one.example/missions/");
    settings.AddSite("http://two.example/d3");
    settings.SetKeepAlive(1);
    EXPECT_TRUE(settings.Save());
    EXPECT_EQ(m_sandbox.iniText(),
              "[settings]\n"
              "Version=" + QString(torv::res::kVersionText) + "\n"
              "D3 Executable Path=/games/descent3/\n"
              "Keep Alive=1\n"
              "\n"
              "[MissionSites]\n"
              "URL1=http://one.example/missions/\n"
              "URL2=http://two.example/d3\n");

    CLauncherSettings nextRun(m_sandbox.profile(), m_sandbox.registry());
    EXPECT_EQ(nextRun.GetSiteCount(), 2);
    EXPECT_FALSE(nextRun.IsFirstRun());
    EXPECT_EQ(nextRun.GetSite(1), "http://two.example/d3/");
}

struct SaveSitesRow {
    const char* name;
    int stored;
    int saved;
};

class LauncherSettingsSaveSites : public LauncherSettingsTest,
                                  public ::testing::WithParamInterface<SaveSitesRow> {};

TEST_P(LauncherSettingsSaveSites, SavedListReplacesTheStoredOneWhole) {
    QString seed = "[MissionSites]\n";
    for (int i = 1; i <= GetParam().stored; ++i) {
        seed += QStringLiteral("URL%1=http://old%1.example/\n").arg(i);
    }
    m_sandbox.seedIni(seed + "[other]\nkept=yes\n");

    CLauncherSettings settings(m_sandbox.profile(), m_sandbox.registry());
    ASSERT_EQ(settings.GetSiteCount(), GetParam().stored);
    settings.ClearSites();
    QStringList expectedNames;
    for (int i = 1; i <= GetParam().saved; ++i) {
        settings.AddSite(QStringLiteral("http://new%1.example/").arg(i));
        expectedNames.append(QStringLiteral("URL%1").arg(i));
    }
    settings.Save();

    QStringList names;
    for (const auto& value : m_sandbox.profile().values("MissionSites")) {
        names.append(value.first);
    }
    EXPECT_EQ(names, expectedNames);
    EXPECT_EQ(m_sandbox.iniText().contains("[MissionSites]"), GetParam().saved > 0);
    EXPECT_EQ(m_sandbox.profile().getString("other", "kept"), "yes");

    CLauncherSettings nextRun(m_sandbox.profile(), m_sandbox.registry());
    ASSERT_EQ(nextRun.GetSiteCount(), GetParam().saved);
    for (int i = 0; i < GetParam().saved; ++i) {
        EXPECT_EQ(nextRun.GetSite(i), QStringLiteral("http://new%1.example/").arg(i + 1));
    }
}

INSTANTIATE_TEST_SUITE_P(Lists, LauncherSettingsSaveSites,
                         ::testing::Values(SaveSitesRow{"ThreeAfterFive", 5, 3},
                                           SaveSitesRow{"EmptyListRemovesTheSection", 4, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
