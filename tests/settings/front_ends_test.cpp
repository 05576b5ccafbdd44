#include "settings/FrontEnds.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QStringList>
#include <optional>

#include "platform/WineRegistry.h"
#include "platform/fake_wine_server.h"
#include "platform/wine_prefix_fixture.h"

namespace torv {
namespace {

using platform::RegistryValue;
using platform::WineRegistry;
using test::WinePrefixFixture;
using Result = CFrontEnds::WriteResult;

const QString kKquery = QStringLiteral("Software\\coldstorage\\Kquery4");
const QString kKali = QStringLiteral("Software\\Kali\\Kali95\\Games\\");

// A prefix whose drive C: holds the game (Games/Descent3/MAIN.EXE) and this tool
// (Tools/torv).
class FrontEndsTest : public ::testing::Test {
protected:
    FrontEndsTest() : m_registry(m_prefix.prefix()) {
        m_gameFolder = m_prefix.driveC() + "/Games/Descent3/";
        WinePrefixFixture::write(m_gameFolder + "MAIN.EXE", QByteArray("MZ"));
        m_ownExe = m_prefix.driveC() + "/Tools/torv";
        WinePrefixFixture::write(m_ownExe, QByteArray("\x7f"
                                                      "ELF"));
        // No server of a real Wine is ever asked.
        m_registry.setServerRoot(m_prefix.makeFolder("server-root"));
        m_registry.setWineProgram(m_prefix.root() + "/no-wine");
    }

    CFrontEnds Read() {
        CFrontEnds frontEnds(m_registry);
        frontEnds.SetOwnExecutable(m_ownExe);
        frontEnds.AddKquery4Entry();
        frontEnds.AddKali95Entries();
        return frontEnds;
    }
    static int Find(const CFrontEnds& frontEnds, const QString& rowText) {
        for (int i = 0; i < frontEnds.GetCount(); ++i) {
            if (frontEnds.GetEntry(i).rowText == rowText) {
                return i;
            }
        }
        return -1;
    }
    // What a fresh look at the file finds.
    std::optional<RegistryValue> Stored(const QString& key, const QString& name) const {
        return WineRegistry(m_prefix.prefix())
            .readValue(WineRegistry::Hive::CurrentUser, key, name);
    }
    QByteArray UserReg() const { return WinePrefixFixture::read(m_prefix.prefix() + "/user.reg"); }

    WinePrefixFixture m_prefix;
    WineRegistry m_registry;
    QString m_gameFolder;
    QString m_ownExe;
};

// A stored value: type and text (strings) or hex bytes (anything else); absent when null.
struct Stored {
    quint32 type;
    QString text;
};

std::optional<Stored> Describe(const std::optional<RegistryValue>& value) {
    if (!value) {
        return std::nullopt;
    }
    return Stored{value->type,
                  value->isString() ? value->text() : QString::fromLatin1(value->data.toHex())};
}

bool operator==(const Stored& a, const Stored& b) {
    return a.type == b.type && a.text == b.text;
}
void PrintTo(const Stored& s, std::ostream* os) {
    *os << "type " << s.type << " \"" << s.text.toStdString() << "\"";
}

constexpr quint32 SZ = platform::RegSz;
constexpr quint32 EXPAND = platform::RegExpandSz;
constexpr quint32 DWORD = platform::RegDword;

struct FrontEndRow {
    const char* name;
    QString userReg;
    QString row;
    int shown;    // the state the row shows when read
    int written;  // the state it has at OK
    QString key;
    QString exeName;
    QString paramsName;
    std::optional<Stored> exe;
    std::optional<Stored> params;
    Result result;
};

QString Kquery(const QString& values) {
    return "[Software\\\\coldstorage\\\\Kquery4] 1700000005\n" + values + "\n";
}
QString Kali(const QString& subkey, const QString& values) {
    return "[Software\\\\Kali\\\\Kali95\\\\Games\\\\" + subkey + "] 1700000006\n" + values + "\n";
}
QString KqueryValues(const QString& exe, const QString& params) {
    return Kquery("\"game_desc3\"=\"" + exe + "\"\n\"game_desc3_params\"=\"" + params + "\"");
}

const QString kGameExe = "C:\\Games\\Descent3\\main.exe";
const QString kToolExe = "C:\\Tools\\torv";
const QString kLong = QString(512, QLatin1Char('a'));

// 497 characters in tokens the list can hold.
QString Tokens497() {
    const QString t(100, QLatin1Char('t'));
    return t + ' ' + t + ' ' + t + ' ' + t + ' ' + QString(93, QLatin1Char('u'));
}

QString ManyTokens(int n) {
    QStringList tokens;
    for (int i = 0; i < n; ++i) {
        tokens << QStringLiteral("-t%1").arg(i);
    }
    return tokens.join(' ');
}

std::vector<FrontEndRow> Rows() {
    const QString q = kKquery;
    const QString exe = "game_desc3", par = "game_desc3_params";
    const QString kd3 = kKali + "Descent 3";
    return {
        {"main.exe elsewhere stays unchecked and points at the game folder",
         KqueryValues("C:\\\\Other\\\\Main.exe", "-foo -getmission abc -rund3 -bar"), "Kquery 4", 0,
         0, q, exe, par, Stored{SZ, kGameExe}, Stored{SZ, "-foo -bar"}, Result::Written},
        {"Kquery 4 switched to checked starts this tool with its placeholder",
         KqueryValues("C:\\\\Other\\\\Main.exe", "-foo -getmission abc -rund3 -bar"), "Kquery 4", 0,
         1, q, exe, par, Stored{SZ, kToolExe}, Stored{SZ, "-foo -bar -getmission %map% -rund3"},
         Result::Written},
        {"Kali 95 switched to checked uses its own placeholder",
         Kali("Descent 3",
              "\"GameExe\"=\"C:\\\\D3\\\\main.exe\"\n"
              "\"CmdLineOpts\"=\"-foo -getmission abc -rund3 -bar\""),
         "Kali 95 [Descent 3]", 0, 1, kd3, "GameExe", "CmdLineOpts", Stored{SZ, kToolExe},
         Stored{SZ, "-foo -bar -getmission {mapname} -rund3"}, Result::Written},
        {"option after -getmission is no mission name ",
         KqueryValues("c:\\\\d3\\\\main.exe", "-getmission -bar"), "Kquery 4", 0, 1, q, exe, par,
         Stored{SZ, kToolExe}, Stored{SZ, "-bar -getmission %map% -rund3"}, Result::Written},
        {"options in any letter case and with a slash are found",
         KqueryValues("c:\\\\tools\\\\torv.exe", "/GetMission abc -RUND3 -x"), "Kquery 4", 1, 0, q,
         exe, par, Stored{SZ, kGameExe}, Stored{SZ, "-x"}, Result::Written},
        {"empty parameters on a checked row", KqueryValues("c:\\\\d3\\\\main.exe", ""), "Kquery 4",
         0, 1, q, exe, par, Stored{SZ, kToolExe}, Stored{SZ, " -getmission %map% -rund3"},
         Result::Written},
        {"indeterminate row written back lower-cased with its parameters",
         KqueryValues("C:\\\\Games\\\\KQ\\\\Launch.EXE", "-X  \\\"a b\\\" "), "Kquery 4", 2, 2, q,
         exe, par, Stored{SZ, "c:\\games\\kq\\launch.exe"}, Stored{SZ, "-X  \"a b\" "},
         Result::Written},
        {"missing values are both created empty", Kquery(""), "Kquery 4", 2, 2, q, exe, par,
         Stored{SZ, ""}, Stored{SZ, ""}, Result::Written},
        {"quoted parameter with a blank keeps its quotes",
         KqueryValues("c:\\\\d3\\\\main.exe", "-name \\\"my level\\\" -getmission x -y"),
         "Kquery 4", 0, 0, q, exe, par, Stored{SZ, kGameExe}, Stored{SZ, "-name \"my level\" -y"},
         Result::Written},
        {"quoted parameter without a blank needs no quotes",
         KqueryValues("c:\\\\d3\\\\main.exe", "\\\"-a\\\" b"), "Kquery 4", 0, 1, q, exe, par,
         Stored{SZ, kToolExe}, Stored{SZ, "-a b -getmission %map% -rund3"}, Result::Written},
        {"string types are kept",
         Kquery("\"game_desc3\"=str(2):\"%D3%\\\\main.exe\"\n"
                "\"game_desc3_params\"=hex(2):2d,00,78,00,00,00"),
         "Kquery 4", 0, 1, q, exe, par, Stored{EXPAND, kToolExe},
         Stored{EXPAND, "-x -getmission %map% -rund3"}, Result::Written},
        {"executable of another type is left alone while indeterminate",
         Kquery("\"game_desc3\"=dword:00000005\n\"game_desc3_params\"=\"-x\""), "Kquery 4", 2, 2, q,
         exe, par, Stored{DWORD, "05000000"}, Stored{SZ, "-x"}, Result::Written},
        {"executable of another type becomes a string when the user chooses",
         Kquery("\"game_desc3\"=dword:00000005\n\"game_desc3_params\"=\"-x\""), "Kquery 4", 2, 0, q,
         exe, par, Stored{SZ, kGameExe}, Stored{SZ, "-x"}, Result::Written},
        {"executable longer than 511 characters is left alone while indeterminate",
         KqueryValues("C:\\\\" + kLong, "-x"), "Kquery 4", 2, 2, q, exe, par,
         Stored{SZ, "C:\\" + kLong}, Stored{SZ, "-x"}, Result::Written},
        {"parameters of 511 characters are rewritten",
         KqueryValues("c:\\\\d3\\\\main.exe", "-getmission m " + Tokens497()), "Kquery 4", 0, 0, q,
         exe, par, Stored{SZ, kGameExe}, Stored{SZ, Tokens497()}, Result::Written},
        {"parameters longer than 511 characters are left as they were",
         KqueryValues("C:\\\\D3\\\\Main.exe", "-x " + kLong), "Kquery 4", 0, 1, q, exe, par,
         Stored{SZ, "C:\\D3\\Main.exe"}, Stored{SZ, "-x " + kLong}, Result::LeftAsItWas},
        {"parameters with more tokens than the list holds are left as they were",
         KqueryValues("C:\\\\D3\\\\Main.exe", ManyTokens(33)), "Kquery 4", 0, 1, q, exe, par,
         Stored{SZ, "C:\\D3\\Main.exe"}, Stored{SZ, ManyTokens(33)}, Result::LeftAsItWas},
        {"parameters with a token longer than the list holds are left as they were",
         KqueryValues("C:\\\\D3\\\\Main.exe", "-x " + QString(128, 'b')), "Kquery 4", 0, 0, q, exe,
         par, Stored{SZ, "C:\\D3\\Main.exe"}, Stored{SZ, "-x " + QString(128, 'b')},
         Result::LeftAsItWas},
        {"parameters of another type are left as they were",
         Kquery("\"game_desc3\"=\"c:\\\\d3\\\\main.exe\"\n\"game_desc3_params\"=dword:00000001"),
         "Kquery 4", 0, 1, q, exe, par, Stored{SZ, "c:\\d3\\main.exe"}, Stored{DWORD, "01000000"},
         Result::LeftAsItWas},
    };
}

void PrintTo(const FrontEndRow& row, std::ostream* os) {
    *os << row.name;
}

class FrontEndTable : public FrontEndsTest, public ::testing::WithParamInterface<FrontEndRow> {};

TEST_P(FrontEndTable, RowShowsItsStateAndWritesWhatItsStateAsks) {
    const FrontEndRow& row = GetParam();
    m_prefix.writeUserReg(row.userReg);
    CFrontEnds frontEnds = Read();
    const int index = Find(frontEnds, row.row);
    ASSERT_GE(index, 0);
    EXPECT_EQ(CFrontEnds::CheckStateFor(frontEnds.GetEntry(index).executable), row.shown);

    const Result result = frontEnds.WriteEntry(index, row.written, m_gameFolder);
    EXPECT_EQ(result, row.result);
    EXPECT_EQ(Describe(Stored(row.key, row.exeName)), row.exe);
    EXPECT_EQ(Describe(Stored(row.key, row.paramsName)), row.params);
    // Only a row left as it was earns a warning, and it names the row.
    EXPECT_EQ(frontEnds.WarningFor(index, result).contains("[" + row.row + "]"),
              row.result != Result::Written);
}

INSTANTIATE_TEST_SUITE_P(Examples, FrontEndTable, ::testing::ValuesIn(Rows()),
                         [](const ::testing::TestParamInfo<FrontEndRow>& info) {
                             std::string name;
                             for (const char c : std::string(info.param.name)) {
                                 name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             }
                             return name;
                         });

TEST_F(FrontEndsTest, KaliEntriesAreTheSubkeysNamingDescent3ExactlyEachWithItsOwnValues) {
    m_prefix.writeUserReg(
        Kali("Descent 3", "\"GameExe\"=\"C:\\\\D3\\\\main.exe\"\n\"CmdLineOpts\"=\"-a\"") +
        Kali("Descent 3 Demo", "\"CmdLineOpts\"=\"-b\"") +
        Kali("descent 3", "\"GameExe\"=\"C:\\\\x\\\\main.exe\"") +
        Kali("Quake", "\"GameExe\"=\"C:\\\\q\\\\main.exe\""));
    const CFrontEnds frontEnds = Read();
    ASSERT_EQ(frontEnds.GetCount(), 2);
    EXPECT_EQ(frontEnds.GetEntry(0).rowText, "Kali 95 [Descent 3]");
    EXPECT_EQ(frontEnds.GetEntry(0).keySuffix, "\\Descent 3");
    EXPECT_EQ(frontEnds.GetEntry(0).executable, "c:\\d3\\main.exe");
    EXPECT_EQ(frontEnds.GetEntry(1).rowText, "Kali 95 [Descent 3 Demo]");
    // Never the first entry's executable.
    EXPECT_EQ(frontEnds.GetEntry(1).executable, "");
    EXPECT_EQ(frontEnds.GetEntry(1).parameters, "-b");
    EXPECT_EQ(CFrontEnds::CheckStateFor(frontEnds.GetEntry(1).executable), 2);
}

TEST_F(FrontEndsTest, NoKeysNoRows) {
    m_prefix.writeUserReg("[Software\\\\Other] 1700000000\n\"x\"=\"y\"\n");
    EXPECT_EQ(Read().GetCount(), 0);
    QFile::remove(m_prefix.prefix() + "/user.reg");
    EXPECT_EQ(Read().GetCount(), 0);
}

struct CheckRow {
    const char* executable;  // lower case, as read
    int state;
};

TEST(FrontEndCheckState, ExecutableDecidesTheRowState) {
    const CheckRow rows[] = {
        {"c:\\games\\descent3\\main.exe", 0},
        {"c:\\tools\\torv.exe", 1},
        {"z:\\usr\\local\\bin\\torv", 1},
        {"/usr/bin/torv", 1},
        {"torv", 1},
        {"c:\\torv\\main.exe", 0},
        {"c:\\tools\\torvane", 2},
        {"c:\\torv\\launcher.exe", 2},
        {"c:\\kali\\kali.exe", 2},
        {"", 2},
    };
    for (const CheckRow& row : rows) {
        EXPECT_EQ(CFrontEnds::CheckStateFor(row.executable), row.state) << row.executable;
    }
}

struct SavedStateRow {
    const char* name;
    int written;
};

// A row saved in a state shows that state at the next opening, this tool's file having no
// extension here.
TEST_F(FrontEndsTest, SavedRowsShowTheirStateAgain) {
    for (const SavedStateRow& row : {SavedStateRow{"checked", 1}, SavedStateRow{"unchecked", 0}}) {
        SCOPED_TRACE(row.name);
        m_prefix.writeUserReg(KqueryValues("C:\\\\KQ\\\\kq.exe", "-x"));
        CFrontEnds first = Read();
        ASSERT_EQ(first.WriteEntry(0, row.written, m_gameFolder), Result::Written);
        const CFrontEnds next = Read();
        EXPECT_EQ(CFrontEnds::CheckStateFor(next.GetEntry(0).executable), row.written);
        EXPECT_EQ(next.GetEntry(0).parameters,
                  row.written == 1 ? "-x -getmission %map% -rund3" : "-x");
    }
}

TEST_F(FrontEndsTest, ToolOutsideEveryDriveIsWrittenThroughZ) {
    m_prefix.writeUserReg(KqueryValues("C:\\\\KQ\\\\main.exe", ""));
    const QString outside = m_prefix.makeFolder("bin") + "/torv";
    WinePrefixFixture::write(outside, QByteArray("x"));
    CFrontEnds frontEnds(m_registry);
    frontEnds.SetOwnExecutable(outside);
    frontEnds.AddKquery4Entry();
    ASSERT_EQ(frontEnds.WriteEntry(0, 1, m_gameFolder), Result::Written);
    QString expected = "Z:" + QDir(outside).canonicalPath();
    expected.replace('/', '\\');
    EXPECT_EQ(Stored(kKquery, "game_desc3")->text(), expected);
}

TEST_F(FrontEndsTest, KeyGoneAtWriteTimeIsSkippedQuietly) {
    m_prefix.writeUserReg(KqueryValues("C:\\\\KQ\\\\main.exe", "-x"));
    CFrontEnds frontEnds = Read();
    m_prefix.writeUserReg("[Software\\\\Other] 1700000000\n\"x\"=\"y\"\n");
    const QByteArray before = UserReg();
    EXPECT_EQ(frontEnds.WriteEntry(0, 1, m_gameFolder), Result::KeyMissing);
    EXPECT_EQ(UserReg(), before);
    EXPECT_EQ(frontEnds.WarningFor(0, Result::KeyMissing), "");
}

struct ServerRow {
    const char* name;
    int wineStatus;
    Result result;
};

// While Wine runs the prefix, the values go through it; when that fails too, the caller hears.
TEST_F(FrontEndsTest, WritesWhileWineRunsGoThroughItOrAreReported) {
    m_prefix.writeUserReg(KqueryValues("C:\\\\KQ\\\\main.exe", "-x"));
    const QString serverRoot = m_prefix.makeFolder("running");
    test::FakeWineServer server(serverRoot, m_prefix.prefix());
    ASSERT_TRUE(server.locked());
    const QString wine = m_prefix.root() + "/wine";
    const QString log = m_prefix.root() + "/wine.log";
    for (const ServerRow& row : {ServerRow{"reg tool succeeds", 0, Result::Written},
                                 ServerRow{"reg tool fails", 1, Result::Failed}}) {
        SCOPED_TRACE(row.name);
        QFile::remove(log);
        ASSERT_TRUE(test::WriteFakeWine(wine, log, row.wineStatus));
        m_registry.setServerRoot(serverRoot);
        m_registry.setWineProgram(wine);
        const QByteArray before = UserReg();
        CFrontEnds frontEnds = Read();
        const Result result = frontEnds.WriteEntry(0, 1, m_gameFolder);
        EXPECT_EQ(result, row.result);
        EXPECT_EQ(UserReg(), before);
        const QString calls = QString::fromUtf8(WinePrefixFixture::read(log));
        EXPECT_TRUE(calls.contains(
            "HKCU\\Software\\coldstorage\\Kquery4\n/v\ngame_desc3\n/t\nREG_SZ\n/d\n" + kToolExe +
            "\n/f\n"))
            << calls.toStdString();
        if (row.result == Result::Failed) {
            EXPECT_EQ(frontEnds.WarningFor(0, result),
                      "WARNING: Unable to save the launch settings of [Kquery 4].");
        }
    }
}

}  // namespace
}  // namespace torv
