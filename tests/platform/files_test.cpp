#include "platform/Files.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "platform/wine_prefix_fixture.h"

namespace {

using torv::test::WinePrefixFixture;

struct NameRow {
    const char* name;
    const char* text;
    const char* expected;
};

class FileNamePart : public ::testing::TestWithParam<NameRow> {};

TEST_P(FileNamePart, LeavesOnlyTheBareName) {
    EXPECT_EQ(torv::platform::fileNamePart(QString::fromUtf8(GetParam().text)),
              QString::fromUtf8(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, FileNamePart,
    ::testing::Values(NameRow{"MissionFile", "btc.mn3", "btc"}, NameRow{"BareName", "btc", "btc"},
                      NameRow{"Archive", "btc.zip", "btc"},
                      NameRow{"WindowsPath", "C:\\Missions\\btc.mn3", "btc"},
                      NameRow{"UnixPath", "/home/me/missions/btc.mn3", "btc"},
                      NameRow{"MixedSeparators", "a/b\\c/btc.mn3", "btc"},
                      NameRow{"DriveWithoutFolder", "C:btc.mn3", "btc"},
                      NameRow{"Blank", "my level.mn3", "my level"},
                      NameRow{"SeveralDots", "a.b.c", "a.b"},
                      NameRow{"DotInFolderOnly", "dir.d\\btc", "btc"},
                      NameRow{"OnlyExtension", ".mn3", ""}, NameRow{"FolderOnly", "missions/", ""},
                      NameRow{"Empty", "", ""}, NameRow{"NonAscii", "Jörg's.mn3", "Jörg's"}),
    [](const auto& info) { return std::string(info.param.name); });

struct FindRow {
    const char* name;
    std::vector<const char*> entries;  // files created in the folder
    const char* wanted;
    const char* expected;  // entry name expected, "" for none
};

class FindFileNoCase : public ::testing::TestWithParam<FindRow> {};

TEST_P(FindFileNoCase, FindsTheEntryWhateverItsLetterCase) {
    QTemporaryDir dir;
    for (const char* entry : GetParam().entries) {
        WinePrefixFixture::write(dir.path() + "/" + entry, QByteArray("x"));
    }
    const QString found =
        torv::platform::findFileNoCase(dir.path(), QString::fromUtf8(GetParam().wanted));
    const QString expected = QString::fromUtf8(GetParam().expected);
    EXPECT_EQ(found, expected.isEmpty() ? QString() : dir.path() + "/" + expected);
}

INSTANTIATE_TEST_SUITE_P(
    Folders, FindFileNoCase,
    ::testing::Values(
        FindRow{"Exact", {"main.exe"}, "main.exe", "main.exe"},
        FindRow{"UpperCaseAsked", {"main.exe"}, "MAIN.EXE", "main.exe"},
        FindRow{"MixedCaseStored", {"Main.Exe"}, "main.exe", "Main.Exe"},
        FindRow{"ExactPreferred", {"Main.exe", "MAIN.EXE", "main.exe"}, "main.exe", "main.exe"},
        FindRow{"NonAscii", {"ÄRGER.mn3"}, "ärger.MN3", "ÄRGER.mn3"},
        FindRow{"Absent", {"other.exe"}, "main.exe", ""},
        FindRow{"PrefixIsNoMatch", {"main.exe.bak"}, "main.exe", ""},
        FindRow{"NoNameInsideAnotherFolder", {"sub/main.exe"}, "sub/MAIN.EXE", ""},
        FindRow{"EmptyName", {"main.exe"}, "", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FindFileNoCaseFolder, MissingFolderFindsNothing) {
    EXPECT_EQ(torv::platform::findFileNoCase(QStringLiteral("/nonexistent/folder"), "main.exe"),
              QString());
}

TEST(IsReadableFile, OnlyFilesThatOpenAreReadable) {
    QTemporaryDir dir;
    const QString file = dir.path() + QStringLiteral("/main.exe");
    WinePrefixFixture::write(file, QByteArray("MZ"));
    QDir(dir.path()).mkdir(QStringLiteral("folder"));
    QFile::link(QStringLiteral("/nonexistent"), dir.path() + QStringLiteral("/dangling"));
    QFile::link(file, dir.path() + QStringLiteral("/linked"));
    QFile::link(QStringLiteral("/dev/zero"), dir.path() + QStringLiteral("/device"));

    EXPECT_TRUE(torv::platform::isReadableFile(file));
    EXPECT_TRUE(torv::platform::isReadableFile(dir.path() + QStringLiteral("/linked")));
    EXPECT_FALSE(torv::platform::isReadableFile(dir.path() + QStringLiteral("/device")));
    EXPECT_FALSE(torv::platform::isReadableFile(dir.path() + QStringLiteral("/folder")));
    EXPECT_FALSE(torv::platform::isReadableFile(dir.path() + QStringLiteral("/missing")));
    EXPECT_FALSE(torv::platform::isReadableFile(dir.path() + QStringLiteral("/dangling")));
    EXPECT_FALSE(torv::platform::isReadableFile(QString()));
    if (::geteuid() != 0) {
        QFile(file).setPermissions(QFileDevice::WriteOwner);
        EXPECT_FALSE(torv::platform::isReadableFile(file));
    }
}

}  // namespace
