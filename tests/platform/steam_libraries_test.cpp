#include "platform/SteamLibraries.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>

#include "support/steam_fixture.h"

namespace {

using torv::platform::findSteamInstalls;
using torv::platform::SteamInstall;
using torv::test::SteamFixture;

const QString kApp = QStringLiteral("273590");

QStringList gameFolders(const QList<SteamInstall>& installs) {
    QStringList folders;
    for (const SteamInstall& install : installs) {
        folders.append(install.gameFolder);
    }
    return folders;
}

// The Flatpak root's listing is in the older form of bare paths; ~/.steam/steam links to the
// native root.
TEST(SteamLibraries, EveryRootCountsOnceListingsFirstAndAFifoIsSkippedWithoutBlocking) {
    SteamFixture steam;
    const QString root = steam.nativeRoot();
    const QString second = steam.path("second");
    SteamFixture::writeLibraries(root, {root, second}, 1);
    const QString listed = SteamFixture::installGame(second, "Descent 3", {"main.exe"});
    // A stale manifest left in a library whose listing no longer names the app.
    const QString stale = SteamFixture::installGame(root, "D3", {"main.exe"});
    QDir().mkpath(steam.home() + "/.steam");
    ASSERT_TRUE(QFile::link(root, steam.home() + "/.steam/steam"));
    const QString library = steam.path("lib");
    SteamFixture::write(steam.flatpakRoot() + "/steamapps/libraryfolders.vdf",
                        "\"LibraryFolders\"\n{\n\t\"TimeNextStatsReport\"\t\t\"1700000000\"\n"
                        "\t\"1\"\t\t\"" +
                            library + "\"\n}\n");
    const QString flatpak = SteamFixture::installGame(library, "Descent 3", {"Descent3"});
    const QByteArray fifo =
        QFile::encodeName(steam.flatpakRoot() + "/steamapps/appmanifest_273590.acf");
    ASSERT_EQ(mkfifo(fifo.constData(), 0644), 0);

    EXPECT_EQ(gameFolders(findSteamInstalls(kApp)), QStringList({listed, stale, flatpak}));
}

TEST(SteamLibraries, AnInstallFolderOutsideCommonIsNoInstall) {
    SteamFixture steam;
    SteamFixture::writeLibraries(steam.nativeRoot(), {steam.nativeRoot()}, 0);
    for (const QString& bad : {QString("../../.."), QString(".."), QString("a/b"), QString()}) {
        SteamFixture::installGame(steam.nativeRoot(), bad, {});
        EXPECT_TRUE(findSteamInstalls(kApp).isEmpty()) << bad.toStdString();
    }
    SteamFixture::write(steam.nativeRoot() + "/steamapps/appmanifest_273590.acf",
                        "\"AppState\" { \"installdir\" \"Descent 3\"");
    EXPECT_TRUE(findSteamInstalls(kApp).isEmpty()) << "a manifest cut short";
}

TEST(SteamLibraries, AFolderBelowCommonOfSteamappsIsInALibrary) {
    const std::pair<const char*, bool> rows[] = {
        // clang-format off
        {"/mnt/SteamLibrary/steamapps/common/Descent 3/", true},
        {"/old/SteamApps/Common/Descent 3/", true},
        {"/steamapps/common/Descent 3", true},
        {"/mnt/SteamLibrary/steamapps/common/", false},
        {"/mnt/steamapps/other/common/Descent 3/", false},
        {"", false},
        // clang-format on
    };
    for (const auto& [folder, expected] : rows) {
        EXPECT_EQ(torv::platform::isInSteamLibrary(folder), expected) << folder;
    }
}

}  // namespace
