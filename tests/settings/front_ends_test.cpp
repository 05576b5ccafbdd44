#include "settings/FrontEnds.h"

#include <gtest/gtest.h>

#include "settings/settings_fixture.h"
#include "support/steam_fixture.h"

namespace torv::test {
namespace {

using Result = CFrontEnds::WriteResult;

class FrontEndsTest : public ::testing::Test {
protected:
    FrontEndsTest() { m_sandbox.stageGameAndTool(); }

    CFrontEnds Read() {
        CFrontEnds frontEnds(m_sandbox.registry);
        frontEnds.SetOwnExecutable(m_sandbox.ownExe);
        frontEnds.AddKquery4Entry();
        frontEnds.AddKali95Entries();
        return frontEnds;
    }
    SettingsFixture m_sandbox;
};

const QString kGameExe = "C:\\Games\\Descent3\\main.exe";
const QString kToolExe = "C:\\Tools\\torv";
const QString kLong = QString(512, QLatin1Char('a'));
// 497 characters in tokens the list can hold.
const QString kTokens497 = (QString(100, 't') + ' ').repeated(4) + QString(93, 'u');

struct FrontEndRow {
    const char* name;
    QString userReg;
    QString row;
    int shown;    // the state the row shows when read
    int written;  // the state it has at OK
    QString exe;  // as stored afterwards; "<type>:<text or hex>" for any type but REG_SZ
    QString params;
    Result result;
};

TEST_F(FrontEndsTest, RowShowsItsStateAndWritesWhatItsStateAsks) {
    const QString dword = QString::number(platform::RegDword) + ":";
    const QString expand = QString::number(platform::RegExpandSz) + ":";
    // clang-format off
    const FrontEndRow rows[] = {
        {"Kali95SwitchedToCheckedUsesItsOwnPlaceholder", Kali("Descent 3", "\"GameExe\"=\"C:\\\\D3\\\\main.exe\"\n\"CmdLineOpts\"=\"-foo -getmission abc -rund3 -bar\""), "Kali 95 [Descent 3]", 0, 1, kToolExe, "-foo -bar -getmission {mapname} -rund3", Result::Written},
        {"KaliRowsAreTheSubkeysNamingDescent3InThatCase", Kali("descent 3", "\"GameExe\"=\"C:\\\\x\\\\main.exe\"") + Kali("Descent 3 Demo", "\"CmdLineOpts\"=\"-b\"") + Kali("Quake", "\"GameExe\"=\"C:\\\\q\\\\main.exe\""), "Kali 95 [Descent 3 Demo]", 2, 2, "", "-b", Result::Written},
        {"OptionAfterGetmissionIsNoMissionName", KqueryValues("c:\\\\d3\\\\main.exe", "-getmission -bar"), "Kquery 4", 0, 1, kToolExe, "-bar -getmission %map% -rund3", Result::Written},
        {"OptionsInAnyLetterCaseAndWithASlashAreFound", KqueryValues("c:\\\\tools\\\\torv.exe", "/GetMission abc -RUND3 -x"), "Kquery 4", 1, 0, kGameExe, "-x", Result::Written},
        {"EmptyParametersOnACheckedRow", KqueryValues("c:\\\\d3\\\\main.exe", ""), "Kquery 4", 0, 1, kToolExe, " -getmission %map% -rund3", Result::Written},
        {"IndeterminateRowWrittenBackLowerCasedWithItsParameters", KqueryValues("C:\\\\Games\\\\KQ\\\\Launch.EXE", "-X  \\\"a b\\\" "), "Kquery 4", 2, 2, "c:\\games\\kq\\launch.exe", "-X  \"a b\" ", Result::Written},
        {"MissingValuesAreBothCreatedEmpty", Kquery(""), "Kquery 4", 2, 2, "", "", Result::Written},
        {"QuotedParameterWithABlankKeepsItsQuotes", KqueryValues("c:\\\\d3\\\\main.exe", "-name \\\"my level\\\" -getmission x -y"), "Kquery 4", 0, 0, kGameExe, "-name \"my level\" -y", Result::Written},
        {"QuotedParameterWithoutABlankNeedsNoQuotes", KqueryValues("c:\\\\d3\\\\main.exe", "\\\"-a\\\" b"), "Kquery 4", 0, 1, kToolExe, "-a b -getmission %map% -rund3", Result::Written},
        {"StringTypesAreKept", Kquery("\"game_desc3\"=str(2):\"%D3%\\\\main.exe\"\n\"game_desc3_params\"=hex(2):2d,00,78,00,00,00"), "Kquery 4", 0, 1, expand + kToolExe, expand + "-x -getmission %map% -rund3", Result::Written},
        {"ExecutableOfAnotherTypeIsLeftAloneWhileIndeterminate", Kquery("\"game_desc3\"=dword:00000005\n\"game_desc3_params\"=\"-x\""), "Kquery 4", 2, 2, dword + "05000000", "-x", Result::Written},
        {"ExecutableOfAnotherTypeBecomesAStringWhenTheUserChooses", Kquery("\"game_desc3\"=dword:00000005\n\"game_desc3_params\"=\"-x\""), "Kquery 4", 2, 0, kGameExe, "-x", Result::Written},
        {"ExecutableLongerThan511CharactersIsLeftAloneWhileIndeterminate", KqueryValues("C:\\\\" + kLong, "-x"), "Kquery 4", 2, 2, "C:\\" + kLong, "-x", Result::Written},
        {"ParametersOf511CharactersAreRewritten", KqueryValues("c:\\\\d3\\\\main.exe", "-getmission m " + kTokens497), "Kquery 4", 0, 0, kGameExe, kTokens497, Result::Written},
        {"ParametersLongerThan511CharactersAreLeftAsTheyWere", KqueryValues("C:\\\\D3\\\\Main.exe", "-x " + kLong), "Kquery 4", 0, 1, "C:\\D3\\Main.exe", "-x " + kLong, Result::LeftAsItWas},
        {"ParametersTheTokenListCannotHoldAreLeftAsTheyWere", KqueryValues("C:\\\\D3\\\\Main.exe", "-x " + QString(128, 'b')), "Kquery 4", 0, 0, "C:\\D3\\Main.exe", "-x " + QString(128, 'b'), Result::LeftAsItWas},
        {"ParametersOfAnotherTypeAreLeftAsTheyWere", Kquery("\"game_desc3\"=\"c:\\\\d3\\\\main.exe\"\n\"game_desc3_params\"=dword:00000001"), "Kquery 4", 0, 1, "c:\\d3\\main.exe", dword + "01000000", Result::LeftAsItWas},
    };
    // clang-format on
    for (const FrontEndRow& row : rows) {
        SCOPED_TRACE(row.name);
        m_sandbox.prefix.writeUserReg(row.userReg);
        CFrontEnds frontEnds = Read();
        ASSERT_EQ(frontEnds.GetCount(), 1);
        EXPECT_EQ(frontEnds.GetEntry(0).rowText, row.row);
        EXPECT_EQ(CFrontEnds::CheckStateFor(frontEnds.GetEntry(0).executable), row.shown);

        const Result result = frontEnds.WriteEntry(0, row.written, m_sandbox.game);
        EXPECT_EQ(result, row.result);
        const bool kali = row.row.startsWith("Kali");
        const QString key = kali ? CFrontEnds::kKali95Key + "\\" + row.row.mid(9).chopped(1)
                                 : CFrontEnds::kKquery4Key;
        EXPECT_EQ(m_sandbox.stored(key, kali ? "GameExe" : "game_desc3"), row.exe);
        EXPECT_EQ(m_sandbox.stored(key, kali ? "CmdLineOpts" : "game_desc3_params"), row.params);
        // Only a row left as it was earns a warning, and it names the row.
        EXPECT_EQ(frontEnds.WarningFor(0, result).contains("[" + row.row + "]"),
                  row.result != Result::Written);
    }
}

// Beside the table's main.exe and torv.exe rows: the tool without an extension, and names near it.
TEST(FrontEndCheckState, ExecutableDecidesTheRowState) {
    const std::pair<const char*, int> rows[] = {
        {"z:\\usr\\local\\bin\\torv", 1}, {"/usr/bin/torv", 1},      {"torv", 1},
        {"c:\\torv\\main.exe", 0},        {"c:\\tools\\torvane", 2}, {"c:\\torv\\launcher.exe", 2},
    };
    for (const auto& [executable, state] : rows) {
        EXPECT_EQ(CFrontEnds::CheckStateFor(executable), state) << executable;
    }
}

TEST_F(FrontEndsTest, KeyGoneAtWriteTimeIsSkippedQuietly) {
    m_sandbox.prefix.writeUserReg(KqueryValues("C:\\\\KQ\\\\main.exe", "-x"));
    CFrontEnds frontEnds = Read();
    m_sandbox.prefix.writeUserReg("[Software\\\\Other] 1700000000\n\"x\"=\"y\"\n");
    const QByteArray before = m_sandbox.userReg();
    EXPECT_EQ(frontEnds.WriteEntry(0, 1, m_sandbox.game), Result::KeyMissing);
    EXPECT_EQ(m_sandbox.userReg(), before);
    EXPECT_EQ(frontEnds.WarningFor(0, Result::KeyMissing), "");
}

// Front ends installed into the game's Proton prefix keep their settings there.
TEST(SteamFrontEnds, FrontEndsInTheProtonPrefixAreReadAndWrittenThere) {
    SettingsFixture sandbox;
    SteamFixture steam;
    const QString library = steam.path("lib");
    SteamFixture::writeLibraries(steam.nativeRoot(), {steam.nativeRoot(), library}, 1);
    const QString game = SteamFixture::installGame(library, "Descent 3", {"main.exe"});
    const QString prefix = SteamFixture::writeProtonPrefix(library, steam.path("c"), "D3");
    SteamFixture::write(prefix + "/user.reg", "WINE REGISTRY Version 2\n\n" +
                                                  KqueryValues("C:\\\\Other\\\\torv.exe", "-x"));
    QFile::link("/", prefix + "/dosdevices/z:");

    CFrontEnds frontEnds(sandbox.registry);
    ASSERT_EQ(frontEnds.AddKquery4Entry(), QList<int>({0}));
    EXPECT_EQ(frontEnds.GetEntry(0).executable, "c:\\other\\torv.exe");
    EXPECT_EQ(frontEnds.WriteEntry(0, CHECK_UNCHECKED, game), CFrontEnds::WriteResult::Written);
    const auto written = platform::WineRegistry(prefix).readString(
        platform::WineRegistry::Hive::CurrentUser, CFrontEnds::kKquery4Key, "game_desc3");
    EXPECT_EQ(written.value_or("<none>"), "Z:" + QString(game).replace('/', '\\') + "main.exe");
    EXPECT_FALSE(QFile::exists(sandbox.prefix.prefix() + "/user.reg"));
}

}  // namespace
}  // namespace torv::test
