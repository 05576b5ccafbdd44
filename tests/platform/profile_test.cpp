#include "platform/Profile.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "platform/wine_prefix_fixture.h"

namespace {

using torv::platform::Profile;
using torv::test::WinePrefixFixture;

const QString kSettings = QStringLiteral("settings");

class ProfileTest : public ::testing::Test {
protected:
    QString iniPath() const { return m_dir.path() + QStringLiteral("/Quillfen/torv.ini"); }
    void seed(const QByteArray& text) const { WinePrefixFixture::write(iniPath(), text); }

    QTemporaryDir m_dir;
};

// The product's own section and entry names are plain words; values are whatever a user typed.
TEST_F(ProfileTest, ValuesReadBackExactlyThroughAnotherObject) {
    // clang-format off
    const QString texts[] = {
        QStringLiteral("\tx\t"),
        QStringLiteral("a=b==c"),
        QStringLiteral("; not a comment"),
        QStringLiteral("# not a comment"),
        QStringLiteral("[section]"),
        QStringLiteral("\\x41\\n\\u0041\\\\"),
        QStringLiteral("line1\nline2\r\nline3\n"),
        QString::fromUtf16(u"a\x01" u"b\x7f" u"c\x1b"),
        QString::fromUtf16(u"J\u00f6rg \u2603 \u65e5\u672c"),
        QString::fromUtf16(u"\u3000wide\u00a0"),
    };
    // clang-format on
    Profile::Batch batch;
    QList<QPair<QString, QString>> expected;
    for (const QString& text : texts) {
        expected.append({QStringLiteral("v%1").arg(expected.size()), text});
        batch.writeString(kSettings, expected.last().first, text);
    }
    ASSERT_TRUE(Profile(iniPath()).write(batch));
    EXPECT_EQ(Profile(iniPath()).values(kSettings), expected);
}

TEST_F(ProfileTest, HandWrittenFilesAreReadInAnyLetterCaseAndOnlyWholeNumbersAreNumbers) {
    seed(
        "\xef\xbb\xbf[ settings ]\r\n  Keep Alive =  -1  \r\nD3 Executable Path=C:\\Games\\D3\\\r\n"
        "word=7x\nescaped=\\xA9\\u00FF\n");
    const Profile profile(iniPath());
    EXPECT_EQ(profile.getInt(kSettings, QStringLiteral("Keep Alive"), 7), -1);
    EXPECT_EQ(profile.getString(QStringLiteral("SETTINGS"), QStringLiteral("d3 executable PATH")),
              QStringLiteral("C:\\Games\\D3\\"));
    EXPECT_EQ(profile.getInt(kSettings, QStringLiteral("word"), 7), 7);
    EXPECT_EQ(profile.getInt(kSettings, QStringLiteral("missing"), 7), 7);
    EXPECT_EQ(profile.getString(kSettings, QStringLiteral("escaped")),
              QString::fromUtf16(u"\u00a9\u00ff"));
}

TEST_F(ProfileTest, BatchAppliesInOrderInAnyLetterCaseKeepsTheRestAndReplacesTheFile) {
    const QByteArray before =
        "; by hand\n[settings]\nVersion=0.3\nmystery line\n\n[MissionSites]\nURL1=a\n; about b\n"
        "URL2=b\n\n[Other]\nx=y\n[missionsites]\nURL9=z\n";
    seed(before);
    // A hard link keeps the old file: it changes only if the save wrote into it in place.
    const QByteArray link = QFile::encodeName(m_dir.path() + QStringLiteral("/old.ini"));
    ASSERT_EQ(::link(QFile::encodeName(iniPath()).constData(), link.constData()), 0);
    Profile profile(iniPath());
    Profile::Batch batch;
    batch.writeString(QStringLiteral("SETTINGS"), QStringLiteral("version"), "0.4");
    batch.removeSection(QStringLiteral("MissionSites"));
    batch.writeString(QStringLiteral("MissionSites"), QStringLiteral("URL1"), "new");
    batch.writeInt(QStringLiteral("Settings"), QStringLiteral("Keep Alive"), -1);
    ASSERT_TRUE(profile.write(batch));
    EXPECT_EQ(WinePrefixFixture::read(iniPath()),
              "; by hand\n[settings]\nversion=0.4\nmystery line\nKeep Alive=-1\n\n[Other]\nx=y\n"
              "\n[MissionSites]\nURL1=new\n");
    EXPECT_EQ(WinePrefixFixture::read(link), before) << "the old file was replaced, not written";
}

void writeMiB(const QString& path, qsizetype extra) {
    const QByteArray head("[settings]\nKeep Alive=1\n;");
    WinePrefixFixture::write(path,
                             head + QByteArray((1 << 20) - head.size() - 1 + extra, 'x') + "\n");
}

// No hang, no abort, no overwrite: the run goes on with defaults and the file stays the user's.
TEST_F(ProfileTest, OnlyARegularFileOfAtMostOneMiBIsUsedAnyOtherIsNamedOnceAndLeft) {
    const struct {
        const char* name;
        void (*plant)(const QString& path);
        const char* problem;  // as the ERROR line words it; nullptr: the file is fine
    } rows[] = {
        // clang-format off
        {"folder", [](const QString& p) { QDir().mkpath(p); }, "is not a regular file"},
        {"link to the zero device", [](const QString& p) { QFile::link(QStringLiteral("/dev/zero"), p); }, "is not a regular file"},
        {"one byte over 1 MiB", [](const QString& p) { writeMiB(p, 1); }, "is larger than 1 MiB"},
        {"exactly 1 MiB", [](const QString& p) { writeMiB(p, 0); }, nullptr},
        // clang-format on
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const QString path = m_dir.path() + "/" + row.name;
        row.plant(path);
        const QFileInfo before(path);
        Profile profile(path);
        QStringList reported;
        profile.setProblemReporter([&](const QString& line) { reported << line; });
        const bool usable = row.problem == nullptr;
        EXPECT_EQ(profile.getInt(kSettings, QStringLiteral("Keep Alive"), 7), usable ? 1 : 7);
        EXPECT_EQ(profile.writeString(kSettings, QStringLiteral("Version"), "v"), usable);
        EXPECT_EQ(reported, usable
                                ? QStringList()
                                : QStringList("ERROR: Settings file [" + path + "] " + row.problem +
                                              "; running with default settings, and the file "
                                              "is left as it is."));
        const QFileInfo after(path);
        EXPECT_TRUE(usable || (after.isSymLink() == before.isSymLink() &&
                               after.isDir() == before.isDir() && after.size() == before.size()));
    }
}

// An absolute XDG_CONFIG_HOME is followed in every end-to-end run.
TEST(ProfileDefaultPath, WithoutAnAbsoluteXdgConfigHomeIsUnderHome) {
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    for (const char* configHome : {"", "cfg"}) {
        qputenv("XDG_CONFIG_HOME", configHome);
        EXPECT_EQ(Profile::defaultPath(QStringLiteral("torv")),
                  QDir::homePath() + "/.config/Quillfen/torv.ini")
            << configHome;
    }
    qputenv("XDG_CONFIG_HOME", saved);
}

}  // namespace
