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

class ProfileTest : public ::testing::Test {
protected:
    QString iniPath() const { return m_dir.path() + QStringLiteral("/Quillfen/torv.ini"); }
    QByteArray fileText() const { return WinePrefixFixture::read(iniPath()); }
    void seed(const char* text) const { WinePrefixFixture::write(iniPath(), QByteArray(text)); }

    QTemporaryDir m_dir;
};

struct RoundTripRow {
    const char* name;
    QString text;
};

class ProfileRoundTrip : public ProfileTest, public ::testing::WithParamInterface<RoundTripRow> {};

TEST_P(ProfileRoundTrip, ValueAndNameReadBackExactlyThroughAnotherObject) {
    const QString text = GetParam().text;
    Profile writer(iniPath());
    ASSERT_TRUE(writer.writeString(QStringLiteral("settings"), QStringLiteral("before"), "x"));
    ASSERT_TRUE(writer.writeString(QStringLiteral("settings"), QStringLiteral("value"), text));
    ASSERT_TRUE(writer.writeString(QStringLiteral("names"), text, QStringLiteral("v")));
    ASSERT_TRUE(writer.writeString(text, QStringLiteral("in section"), QStringLiteral("s")));
    ASSERT_TRUE(writer.writeString(QStringLiteral("settings"), QStringLiteral("after"), "y"));

    const Profile reader(iniPath());
    EXPECT_EQ(reader.getString(QStringLiteral("settings"), QStringLiteral("value"), "default"),
              text);
    EXPECT_EQ(reader.getString(QStringLiteral("names"), text, "default"), QStringLiteral("v"));
    EXPECT_EQ(reader.getString(text, QStringLiteral("in section"), "default"), QStringLiteral("s"));
    const auto settings = reader.values(QStringLiteral("settings"));
    ASSERT_EQ(settings.size(), 3);
    EXPECT_EQ(settings.at(0).second, QStringLiteral("x"));
    EXPECT_EQ(settings.at(1).second, text);
    EXPECT_EQ(settings.at(2).second, QStringLiteral("y"));
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Texts, ProfileRoundTrip, ::testing::Values(
    RoundTripRow{"Plain", QStringLiteral("http://example.org/missions/")},
    RoundTripRow{"LeadingAndTrailingBlanks", QStringLiteral("  padded  ")},
    RoundTripRow{"OnlyBlanks", QStringLiteral("   ")},
    RoundTripRow{"TabsAtBothEnds", QStringLiteral("\tx\t")},
    RoundTripRow{"EqualsSigns", QStringLiteral("a=b==c")},
    RoundTripRow{"LeadingSemicolon", QStringLiteral("; not a comment")},
    RoundTripRow{"LeadingHash", QStringLiteral("# not a comment")},
    RoundTripRow{"Brackets", QStringLiteral("[section]")},
    RoundTripRow{"WindowsPathWithBackslashes", QStringLiteral("C:\\Games\\Descent3\\")},
    RoundTripRow{"EscapeLookalikes", QStringLiteral("\\x41\\n\\u0041\\\\")},
    RoundTripRow{"Quotes", QStringLiteral("\"quoted\" and 'single'")},
    RoundTripRow{"Newlines", QStringLiteral("line1\nline2\r\nline3\n")},
    RoundTripRow{"ControlCharacters", QString::fromUtf16(u"a\x01" u"b\x7f" u"c\x1b")},
    RoundTripRow{"NonAscii", QString::fromUtf16(u"J\u00f6rg \u2603 \u65e5\u672c")},
    RoundTripRow{"UnicodeSpaceAtEnds", QString::fromUtf16(u"\u3000wide\u00a0")}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

TEST_F(ProfileTest, SectionsAndEntriesIgnoreLetterCase) {
    Profile profile(iniPath());
    ASSERT_TRUE(profile.writeString(QStringLiteral("settings"), QStringLiteral("Keep Alive"), "1"));
    ASSERT_TRUE(profile.writeString(QStringLiteral("SETTINGS"), QStringLiteral("keep alive"), "0"));
    EXPECT_EQ(profile.getString(QStringLiteral("Settings"), QStringLiteral("KEEP ALIVE")), "0");
    EXPECT_EQ(profile.values(QStringLiteral("settings")).size(), 1);
}

TEST_F(ProfileTest, ValuesEnumerateInFileOrderAndKeepTheirPlaceWhenRewritten) {
    Profile profile(iniPath());
    for (const char* name : {"URL1", "URL2", "URL3"}) {
        ASSERT_TRUE(profile.writeString(QStringLiteral("MissionSites"), name,
                                        QStringLiteral("site of ") + name));
    }
    ASSERT_TRUE(profile.writeString(QStringLiteral("other"), QStringLiteral("a"), "b"));
    ASSERT_TRUE(profile.writeString(QStringLiteral("MissionSites"), QStringLiteral("URL2"), "new"));
    ASSERT_TRUE(
        profile.writeString(QStringLiteral("MissionSites"), QStringLiteral("URL0"), "last"));
    const auto values = profile.values(QStringLiteral("missionsites"));
    ASSERT_EQ(values.size(), 4);
    EXPECT_EQ(values.at(0), qMakePair(QStringLiteral("URL1"), QStringLiteral("site of URL1")));
    EXPECT_EQ(values.at(1), qMakePair(QStringLiteral("URL2"), QStringLiteral("new")));
    EXPECT_EQ(values.at(2), qMakePair(QStringLiteral("URL3"), QStringLiteral("site of URL3")));
    EXPECT_EQ(values.at(3), qMakePair(QStringLiteral("URL0"), QStringLiteral("last")));
}

TEST_F(ProfileTest, CommentsAndUnknownLinesSurviveSaves) {
    seed(
        "; written by hand\n"
        "[settings]\n"
        "# keep this\n"
        "Keep Alive=1\n"
        "a line without an equals sign\n"
        "\n"
        "[Other]\n"
        "x=y\n");
    Profile profile(iniPath());
    ASSERT_TRUE(profile.writeString(QStringLiteral("settings"), QStringLiteral("Version"), "v"));
    ASSERT_TRUE(profile.writeString(QStringLiteral("settings"), QStringLiteral("Keep Alive"), "0"));
    EXPECT_EQ(fileText(),
              "; written by hand\n"
              "[settings]\n"
              "# keep this\n"
              "Keep Alive=0\n"
              "a line without an equals sign\n"
              "Version=v\n"
              "\n"
              "[Other]\n"
              "x=y\n");
}

TEST_F(ProfileTest, HandWrittenFilesAreRead) {
    seed(
        "\xef\xbb\xbf[ settings ]\r\n  Keep Alive =  1  \r\nD3 Executable "
        "Path=C:\\Games\\D3\\\r\n");
    const Profile profile(iniPath());
    EXPECT_EQ(profile.getInt(QStringLiteral("settings"), QStringLiteral("Keep Alive"), 7), 1);
    EXPECT_EQ(profile.getString(QStringLiteral("settings"), QStringLiteral("D3 Executable Path")),
              QStringLiteral("C:\\Games\\D3\\"));
}

struct IntRow {
    const char* name;
    const char* stored;  // nullptr: no entry at all
    int expected;
};

class ProfileInt : public ProfileTest, public ::testing::WithParamInterface<IntRow> {};

TEST_P(ProfileInt, ReadsWholeNumbersAndFallsBackToTheDefault) {
    Profile profile(iniPath());
    ASSERT_TRUE(profile.writeString(QStringLiteral("settings"), QStringLiteral("other"), "1"));
    if (GetParam().stored != nullptr) {
        ASSERT_TRUE(profile.writeString(QStringLiteral("settings"), QStringLiteral("n"),
                                        QString::fromUtf8(GetParam().stored)));
    }
    EXPECT_EQ(profile.getInt(QStringLiteral("settings"), QStringLiteral("n"), -77),
              GetParam().expected);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Values, ProfileInt, ::testing::Values(
    IntRow{"Positive", "5", 5},
    IntRow{"Zero", "0", 0},
    IntRow{"Negative", "-3", -3},
    IntRow{"SurroundedByBlanks", " 12 ", 12},
    IntRow{"Word", "yes", -77},
    IntRow{"Empty", "", -77},
    IntRow{"TrailingLetters", "7x", -77},
    IntRow{"TooLarge", "99999999999", -77},
    IntRow{"Missing", nullptr, -77}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

TEST_F(ProfileTest, WriteIntStoresDecimalText) {
    Profile profile(iniPath());
    ASSERT_TRUE(profile.writeInt(QStringLiteral("settings"), QStringLiteral("Keep Alive"), -12));
    EXPECT_EQ(profile.getString(QStringLiteral("settings"), QStringLiteral("Keep Alive")), "-12");
    EXPECT_EQ(profile.getInt(QStringLiteral("settings"), QStringLiteral("Keep Alive"), 0), -12);
}

TEST_F(ProfileTest, RemoveSectionTakesAllItsLinesAndLeavesTheRest) {
    seed(
        "[MissionSites]\nURL1=a\n; about b\nURL2=b\n\n[settings]\nVersion=v\n"
        "[missionsites]\nURL9=z\n");
    Profile profile(iniPath());
    ASSERT_TRUE(profile.removeSection(QStringLiteral("MissionSites")));
    EXPECT_TRUE(profile.values(QStringLiteral("MissionSites")).isEmpty());
    EXPECT_EQ(fileText(), "[settings]\nVersion=v\n");
}

TEST_F(ProfileTest, RemovingAnAbsentSectionSucceedsWithoutTouchingTheFile) {
    Profile profile(iniPath());
    EXPECT_TRUE(profile.removeSection(QStringLiteral("MissionSites")));
    EXPECT_FALSE(QFile::exists(iniPath()));
}

TEST_F(ProfileTest, MissingFileReadsAsDefaults) {
    const Profile profile(iniPath());
    EXPECT_EQ(profile.getString(QStringLiteral("settings"), QStringLiteral("Version"), "d"), "d");
    EXPECT_TRUE(profile.values(QStringLiteral("settings")).isEmpty());
}

TEST_F(ProfileTest, FirstWriteCreatesTheFolders) {
    Profile profile(m_dir.path() + QStringLiteral("/a/b/c/torv.ini"));
    EXPECT_TRUE(profile.writeString(QStringLiteral("settings"), QStringLiteral("Version"), "v"));
    EXPECT_TRUE(QFile::exists(m_dir.path() + QStringLiteral("/a/b/c/torv.ini")));
}

TEST_F(ProfileTest, WriteThatCannotBeStoredReportsFailure) {
    WinePrefixFixture::write(m_dir.path() + QStringLiteral("/blocker"), QByteArray("file"));
    Profile profile(m_dir.path() + QStringLiteral("/blocker/torv.ini"));
    EXPECT_FALSE(profile.writeString(QStringLiteral("settings"), QStringLiteral("Version"), "v"));
    EXPECT_EQ(profile.getString(QStringLiteral("settings"), QStringLiteral("Version"), "d"), "d");
}

TEST_F(ProfileTest, SavesReplaceTheFileInsteadOfOverwritingIt) {
    Profile profile(iniPath());
    ASSERT_TRUE(profile.writeString(QStringLiteral("settings"), QStringLiteral("Version"), "old"));
    // A hard link keeps the old file: it changes only if the save wrote into it in place.
    const QString link = m_dir.path() + QStringLiteral("/old.ini");
    ASSERT_EQ(::link(QFile::encodeName(iniPath()).constData(), QFile::encodeName(link).constData()),
              0);
    ASSERT_TRUE(profile.writeString(QStringLiteral("settings"), QStringLiteral("Version"), "new"));
    EXPECT_EQ(WinePrefixFixture::read(link), "[settings]\nVersion=old\n");
    EXPECT_EQ(fileText(), "[settings]\nVersion=new\n");
    EXPECT_EQ(QDir(m_dir.path() + QStringLiteral("/Quillfen")).entryList(QDir::Files),
              QStringList{QStringLiteral("torv.ini")});
}

TEST_F(ProfileTest, BatchAppliesInOrderAndKeepsWhatItDoesNotTouch) {
    const char* before =
        "; by hand\n[settings]\nVersion=0.3\nmystery line\n\n[MissionSites]\nURL1=a\nURL2=b\n"
        "URL3=c\n\n[Other]\nx=y\n";
    seed(before);
    Profile profile(iniPath());
    Profile::Batch batch;
    batch.writeString(QStringLiteral("settings"), QStringLiteral("Version"), "0.4");
    batch.removeSection(QStringLiteral("MissionSites"));
    batch.writeString(QStringLiteral("MissionSites"), QStringLiteral("URL1"), "new");
    batch.writeInt(QStringLiteral("settings"), QStringLiteral("Keep Alive"), 1);
    const QString link = m_dir.path() + QStringLiteral("/old.ini");
    ASSERT_EQ(::link(QFile::encodeName(iniPath()).constData(), QFile::encodeName(link).constData()),
              0);
    QString error = QStringLiteral("untouched");
    ASSERT_TRUE(profile.write(batch, &error));
    EXPECT_EQ(error, "untouched");
    EXPECT_EQ(fileText(),
              "; by hand\n[settings]\nVersion=0.4\nmystery line\nKeep Alive=1\n\n[Other]\nx=y\n"
              "\n[MissionSites]\nURL1=new\n");
    EXPECT_EQ(WinePrefixFixture::read(link), before) << "the old file was replaced, not written";
}

TEST_F(ProfileTest, BatchThatCannotBeStoredSaysWhyAndLeavesTheFile) {
    WinePrefixFixture::write(m_dir.path() + QStringLiteral("/blocker"), QByteArray("file"));
    Profile profile(m_dir.path() + QStringLiteral("/blocker/torv.ini"));
    Profile::Batch batch;
    batch.writeString(QStringLiteral("settings"), QStringLiteral("Version"), "v");
    QString error;
    EXPECT_FALSE(profile.write(batch, &error));
    EXPECT_EQ(error, "Not a directory");
    EXPECT_EQ(WinePrefixFixture::read(m_dir.path() + QStringLiteral("/blocker")), "file");
}

TEST_F(ProfileTest, TwoObjectsOverOneFileSeeEachOthersWrites) {
    Profile first(iniPath());
    Profile second(iniPath());
    ASSERT_EQ(second.getString(QStringLiteral("settings"), QStringLiteral("Version")), "");
    ASSERT_TRUE(first.writeString(QStringLiteral("settings"), QStringLiteral("Version"), "a"));
    EXPECT_EQ(second.getString(QStringLiteral("settings"), QStringLiteral("Version")), "a");
    ASSERT_TRUE(second.writeString(QStringLiteral("settings"), QStringLiteral("Keep Alive"), "1"));
    EXPECT_EQ(first.values(QStringLiteral("settings")).size(), 2);
}

struct UnusableRow {
    const char* name;
    void (*plant)(const QString& path);
    const char* problem;  // as the ERROR line words it
};

class ProfileUnusable : public ProfileTest, public ::testing::WithParamInterface<UnusableRow> {};

// No hang, no abort, no overwrite: the run goes on with defaults and the file stays the user's.
TEST_P(ProfileUnusable, ReadsAsDefaultsIsNeverWrittenAndIsNamedOnce) {
    QDir().mkpath(m_dir.path() + QStringLiteral("/Quillfen"));
    GetParam().plant(iniPath());
    const QFileInfo before(iniPath());
    Profile profile(iniPath());
    QStringList reported;
    profile.setProblemReporter([&](const QString& line) { reported << line; });

    EXPECT_EQ(profile.getString(QStringLiteral("settings"), QStringLiteral("Version"), "d"), "d");
    EXPECT_EQ(profile.getInt(QStringLiteral("settings"), QStringLiteral("Keep Alive"), 7), 7);
    EXPECT_TRUE(profile.values(QStringLiteral("MissionSites")).isEmpty());
    EXPECT_FALSE(profile.writeString(QStringLiteral("settings"), QStringLiteral("Version"), "v"));
    EXPECT_EQ(reported,
              QStringList("ERROR: Settings file [" + iniPath() + "] " + GetParam().problem +
                          "; running with default settings, and the file is left as "
                          "it is."));
    const QFileInfo after(iniPath());
    EXPECT_EQ(after.isSymLink(), before.isSymLink());
    EXPECT_EQ(after.isDir(), before.isDir());
    EXPECT_EQ(after.size(), before.size());
}

void makeSparseThreeGigabytes(const QString& p) {
    QFile file(p);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_TRUE(file.resize(qint64(3) << 30));
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Files, ProfileUnusable, ::testing::Values(
    UnusableRow{"Folder", [](const QString& p) { QDir().mkpath(p); }, "is not a regular file"},
    UnusableRow{"LinkToDevZero", [](const QString& p) { QFile::link(QStringLiteral("/dev/zero"), p); }, "is not a regular file"},
    UnusableRow{"SparseThreeGigabytes", makeSparseThreeGigabytes, "is larger than 1 MiB"},
    UnusableRow{"OneByteOverOneMiB", [](const QString& p) { WinePrefixFixture::write(p, "[settings]\nVersion=v\n" + QByteArray((1 << 20) - 20, ';')); }, "is larger than 1 MiB"}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

TEST_F(ProfileTest, AFileOfExactlyOneMiBIsRead) {
    const QByteArray head("[settings]\nKeep Alive=1\n;");
    seed((head + QByteArray((1 << 20) - head.size() - 1, 'x') + "\n").constData());
    ASSERT_EQ(QFileInfo(iniPath()).size(), 1 << 20);
    Profile profile(iniPath());
    bool reported = false;
    profile.setProblemReporter([&](const QString&) { reported = true; });
    EXPECT_EQ(profile.getInt(QStringLiteral("settings"), QStringLiteral("Keep Alive"), 0), 1);
    EXPECT_TRUE(profile.writeString(QStringLiteral("settings"), QStringLiteral("Keep Alive"), "0"));
    EXPECT_FALSE(reported);
}

struct PathRow {
    const char* name;
    const char* configHome;  // nullptr: unset
    const char* expectedUnderHome;
};

class ProfileDefaultPath : public ::testing::TestWithParam<PathRow> {};

TEST_P(ProfileDefaultPath, FollowsTheXdgConfigHome) {
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    const bool wasSet = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
    if (GetParam().configHome == nullptr) {
        qunsetenv("XDG_CONFIG_HOME");
    } else {
        qputenv("XDG_CONFIG_HOME", GetParam().configHome);
    }
    const QString path = Profile::defaultPath(QStringLiteral("torv"));
    if (wasSet) {
        qputenv("XDG_CONFIG_HOME", saved);
    } else {
        qunsetenv("XDG_CONFIG_HOME");
    }
    const QString expected = QString::fromUtf8(GetParam().expectedUnderHome);
    EXPECT_EQ(path,
              expected.startsWith(QLatin1Char('/')) ? expected : QDir::homePath() + "/" + expected);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Environment, ProfileDefaultPath, ::testing::Values(
    PathRow{"Set", "/tmp/cfg", "/tmp/cfg/Quillfen/torv.ini"},
    PathRow{"Unset", nullptr, ".config/Quillfen/torv.ini"},
    PathRow{"Empty", "", ".config/Quillfen/torv.ini"},
    PathRow{"RelativeIsIgnored", "cfg", ".config/Quillfen/torv.ini"}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

}  // namespace
