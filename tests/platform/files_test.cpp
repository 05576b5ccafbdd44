#include "platform/Files.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "platform/wine_prefix_fixture.h"

namespace {

using torv::test::WinePrefixFixture;

TEST(FileNamePart, LeavesOnlyTheBareName) {
    const struct {
        const char* text;
        const char* expected;
    } rows[] = {
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
    for (const auto& row : rows) {
        EXPECT_EQ(torv::platform::fileNamePart(QString::fromUtf8(row.text)),
                  QString::fromUtf8(row.expected))
            << row.text;
    }
}

TEST(FindFileNoCase, FindsTheEntryWhateverItsLetterCaseTheExactSpellingFirst) {
    const struct {
        std::vector<const char*> entries;  // files created in the folder
        const char* wanted;
        const char* expected;  // entry name expected, "" for none
    } rows[] = {
        // clang-format off
        {{"Main.Exe"}, "MAIN.EXE", "Main.Exe"},
        {{"Main.exe", "MAIN.EXE", "main.exe"}, "main.exe", "main.exe"},
        {{"other.exe"}, "main.exe", ""},
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

TEST(IsReadableFile, OnlyFilesThatOpenAreReadable) {
    QTemporaryDir dir;
    const QString file = dir.path() + QStringLiteral("/main.exe");
    WinePrefixFixture::write(file, QByteArray("MZ"));
    QFile::link(file, dir.path() + QStringLiteral("/linked"));
    QFile::link(QStringLiteral("/dev/zero"), dir.path() + QStringLiteral("/device"));

    EXPECT_TRUE(torv::platform::isReadableFile(file));
    EXPECT_TRUE(torv::platform::isReadableFile(dir.path() + QStringLiteral("/linked")));
    for (const char* name : {"device", "missing"}) {
        EXPECT_FALSE(torv::platform::isReadableFile(dir.path() + "/" + name)) << name;
    }
    EXPECT_FALSE(torv::platform::isReadableFile(QString()));
}

}  // namespace
