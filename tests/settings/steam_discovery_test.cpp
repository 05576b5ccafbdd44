// Where the game is found when the Wine prefix's registry does not name it: the Steam libraries,
// then the Proton prefix Steam ran the game's installer in.
#include <gtest/gtest.h>

#include "settings/FrontEnds.h"
#include "settings/GameDiscovery.h"
#include "settings/settings_fixture.h"
#include "support/steam_fixture.h"

namespace {

using torv::test::SettingsFixture;
using torv::test::SteamFixture;

enum class Found { Wine, Steam, Proton, Nothing };

struct OrderRow {
    const char* name;
    bool wineRegistry;      // the Wine prefix names Games/D3
    bool wineHoldsGame;     // ... and that folder holds main.exe
    QStringList steamGame;  // executables in the Steam install folder
    bool protonRegistry;    // the library's Proton prefix names C:\ProtonD3 (holding main.exe)
    Found expected;
};

TEST(SteamDiscoveryOrder, TakesTheFirstSourceThatNamesAGameFolder) {
    // clang-format off
    const OrderRow rows[] = {
        {"WinePrefixFirst", true, true, {"main.exe"}, true, Found::Wine},
        {"SteamInstall", false, false, {"main.exe"}, true, Found::Steam},
        {"WinePrefixNamingNoGame", true, false, {"Descent3"}, false, Found::Steam},
        {"ProtonPrefixWhenTheInstallHoldsNoGame", false, false, {}, true, Found::Proton},
        {"Nothing", true, false, {"readme.txt"}, false, Found::Nothing},
    };
    // clang-format on
    for (const OrderRow& row : rows) {
        SCOPED_TRACE(row.name);
        SettingsFixture sandbox;
        SteamFixture steam;
        const QString wineGame =
            sandbox.gameFolder("Games/D3", row.wineHoldsGame ? "main.exe" : "");
        if (row.wineRegistry) {
            sandbox.prefix().writeSystemReg(
                "[Software\\\\Outrage\\\\Descent3] 1700000000\n"
                "\"BaseDirectory\"=\"C:\\\\Games\\\\D3\"\n\n");
        }
        const QString library = steam.path("Library Two");
        SteamFixture::writeLibraries(steam.nativeRoot(), {steam.nativeRoot(), library}, 1);
        const QString steamGame = SteamFixture::installGame(library, "Descent 3", row.steamGame);
        SteamFixture::write(steam.path("proton_c/ProtonD3/main.exe"), "MZ");
        if (row.protonRegistry) {
            SteamFixture::writeProtonPrefix(library, steam.path("proton_c"), "ProtonD3");
        }

        QString folder = "earlier";
        const bool found = torv::DiscoverGameFolder(sandbox.registry(), folder);
        const QString expected[] = {wineGame, steamGame, steam.path("proton_c/ProtonD3/"),
                                    "earlier"};
        EXPECT_EQ(found, row.expected != Found::Nothing);
        EXPECT_TRUE(!found || folder.endsWith('/')) << folder.toStdString();
        EXPECT_EQ(QDir(folder).canonicalPath(), QDir(expected[int(row.expected)]).canonicalPath())
            << folder.toStdString();
    }
}

TEST(SteamFrontEnds, FrontEndsInTheProtonPrefixAreReadAndWrittenThere) {
    SettingsFixture sandbox;
    SteamFixture steam;
    const QString library = steam.path("lib");
    SteamFixture::writeLibraries(steam.nativeRoot(), {steam.nativeRoot(), library}, 1);
    const QString game = SteamFixture::installGame(library, "Descent 3", {"main.exe"});
    const QString prefix = SteamFixture::writeProtonPrefix(library, steam.path("c"), "D3");
    SteamFixture::write(
        prefix + "/user.reg",
        "WINE REGISTRY Version 2\n\n" + torv::test::KqueryValues("C:\\\\Other\\\\torv.exe", "-x"));
    QFile::link("/", prefix + "/dosdevices/z:");

    torv::CFrontEnds frontEnds(sandbox.registry());
    ASSERT_EQ(frontEnds.AddKquery4Entry(), QList<int>({0}));
    EXPECT_EQ(frontEnds.GetEntry(0).executable, "c:\\other\\torv.exe");
    EXPECT_EQ(frontEnds.WriteEntry(0, torv::CHECK_UNCHECKED, game),
              torv::CFrontEnds::WriteResult::Written);
    const auto written = torv::platform::WineRegistry(prefix).readString(
        torv::platform::WineRegistry::Hive::CurrentUser, torv::CFrontEnds::kKquery4Key,
        "game_desc3");
    ASSERT_TRUE(written.has_value());
    EXPECT_EQ(*written, "Z:" + QString(game).replace('/', '\\') + "main.exe");
    EXPECT_FALSE(QFile::exists(sandbox.prefix().prefix() + "/user.reg"));
}

}  // namespace
