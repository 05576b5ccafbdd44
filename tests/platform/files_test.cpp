#include "platform/Files.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "platform/wine_prefix_fixture.h"

namespace {

using torv::test::WinePrefixFixture;

TEST(FileNamePart, LeavesOnlyTheBareName) {
    const std::pair<const char*, const char*> rows[] = {
        // clang-format off
        {"btc", "btc"},
        {"a/b\\c/btc.mn3", "btc"},
        {"C:btc.mn3", "btc"},
        {"a.b.c", "a.b"},
        {"dir.d\\btc", "btc"},
        {".mn3", ""},
        {"missions/", ""},
        {"", ""},
        // clang-format on
    };
    for (const auto& [text, expected] : rows) {
        EXPECT_EQ(torv::platform::fileNamePart(text), expected) << text;
    }
}

TEST(FindFileNoCase, FindsTheEntryWhateverItsLetterCaseTheExactSpellingFirst) {
    const struct {
        std::vector<const char*> entries;  // files created in the folder
        const char* wanted;
        const char* expected;  // entry name expected, "" for none
    } rows[] = {
        // clang-format off
        {{"Main.exe", "MAIN.EXE", "main.exe"}, "main.exe", "main.exe"},
        {{"sub/main.exe"}, "sub/MAIN.EXE", ""},
        {{"main.exe"}, "", ""},
        // clang-format on
    };
    for (const auto& row : rows) {
        QTemporaryDir dir;
        for (const char* entry : row.entries) {
            WinePrefixFixture::write(dir.path() + "/" + entry, QByteArray("x"));
        }
        const QString expected = *row.expected == 0 ? QString() : dir.path() + "/" + row.expected;
        EXPECT_EQ(torv::platform::findFileNoCase(dir.path(), row.wanted), expected) << row.wanted;
    }
}

// A plain file, a folder and a missing file are the settings IsValidGameFolder table's.
TEST(IsReadableFile, ALinkToAFileIsReadableALinkToADeviceIsNot) {
    QTemporaryDir dir;
    WinePrefixFixture::write(dir.path() + "/main.exe", QByteArray("MZ"));
    QFile::link(dir.path() + "/main.exe", dir.path() + "/linked");
    QFile::link("/dev/zero", dir.path() + "/device");
    EXPECT_TRUE(torv::platform::isReadableFile(dir.path() + "/linked"));
    EXPECT_FALSE(torv::platform::isReadableFile(dir.path() + "/device"));
}

}  // namespace
