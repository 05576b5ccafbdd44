#include "settings/LauncherSettings.h"

#include <gtest/gtest.h>

#include "res/Version.h"

#include "settings/settings_fixture.h"

namespace {

using torv::CLauncherSettings;
using torv::test::SettingsFixture;

// Sites are read in file order, each ending in a slash; a shorter list replaces a longer one
// whole; Keep Alive is read and saved as 0 or 1.
TEST(LauncherSettings, SaveWritesTheFileAUserExpects) {
    SettingsFixture sandbox;
    sandbox.seedIni(
        "[settings]\nKeep Alive=5\n\n[MissionSites]\nURL3=http://c.example/levels\n"
        "URL1=http://a.example/\nURL2=\nURL4=  http://d.example/x  \n\n[other]\nkept=yes\n");
    CLauncherSettings settings(sandbox.profile(), sandbox.registry());
    EXPECT_TRUE(settings.IsFirstRun());
    EXPECT_EQ(settings.GetKeepAlive(), 1);
    ASSERT_EQ(settings.GetSiteCount(), 4);
    const QString sites[] = {"http://c.example/levels/", "http://a.example/", "/",
                             "http://d.example/x/", ""};
    for (int i = -1; i < 5; ++i) {
        EXPECT_EQ(settings.GetSite(i), sites[i < 0 ? 4 : i]) << i;
    }
    settings.SetGameFolder("/games/descent3/");
    settings.ClearSites();
    settings.AddSite("http://one.example/missions/");
    settings.AddSite("http://two.example/d3");
    EXPECT_TRUE(settings.Save());
    const QString expected =
        "[settings]\nKeep Alive=1\nVersion=" + QString(torv::res::kVersionText) +
        "\nD3 Executable Path=/games/descent3/\n\n[other]\nkept=yes\n\n"
        "[MissionSites]\nURL1=http://one.example/missions/\n"
        "URL2=http://two.example/d3\n";
    EXPECT_EQ(sandbox.iniText(), expected);

    CLauncherSettings nextRun(sandbox.profile(), sandbox.registry());
    EXPECT_EQ(nextRun.GetSiteCount(), 2);
    EXPECT_FALSE(nextRun.IsFirstRun());
    EXPECT_EQ(nextRun.GetSite(1), "http://two.example/d3/");
}

}  // namespace
