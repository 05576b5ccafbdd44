#include "platform/WineRegistry.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <optional>

#include "platform/fake_wine_server.h"
#include "platform/wine_prefix_fixture.h"

namespace {

using namespace torv::platform;
using torv::test::FakeWineServer;
using torv::test::WinePrefixFixture;
using Hive = WineRegistry::Hive;
using View = WineRegistry::View;

// Key sections as Wine writes them, escapes and all.
const char kSystemReg[] =
    R"([Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Descent 3.Exe] 1700000000
#time=1da1f2a3b4c5d6e
@="C:\\Games\\Descent3\\main.exe"
"Path"="C:\\Games\\Descent3"

[Software\\Outrage\\Descent3] 1700000001
"BaseDirectory"="C:\\Plain\\"
"OnlyPlain"="plain"
"Quoted"="say \"hi\" \\ bye"
"NonAscii"="J\xf6rg \x00e9a \x2603"
"Controls"="tab\there\nnew\a"
"Octal"="\101\102"
"Expand"=str(2):"%ProgramFiles%\\Outrage"
"HexExpand"=hex(2):25,00,50,00,46,00,25,00,5c,00,44,00,33,00,00,00
"Version"=dword:0000002a

[Software\\Wow6432Node\\Outrage\\Descent3] 1700000002
"BaseDirectory"="C:\\ThirtyTwo\\"

[Software\\Odd\\Br\]acket] 1700000003
"v"="bracket"

[Software\\Odd\\Second] 1700000004
"v"="second"
)";

const char kUserReg[] = R"([Software\\coldstorage\\Kquery4] 1700000005
"game_desc3"="C:\\Games\\Descent3\\main.exe"
"game_desc3_params"="-foo -getmission abc -rund3 -bar"
)";

const char kD3[] = "Software\\Outrage\\Descent3";
const char kAppPath[] = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Descent 3.Exe";
const char kKquery[] = "Software\\coldstorage\\Kquery4";

class WineRegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_prefix.writeSystemReg(QString::fromUtf8(kSystemReg));
        m_prefix.writeUserReg(QString::fromUtf8(kUserReg));
    }
    QString userReg() const { return m_prefix.prefix() + QStringLiteral("/user.reg"); }

    WinePrefixFixture m_prefix;
};

TEST_F(WineRegistryTest, ReadsStringValuesAsWineWroteThem) {
    const WineRegistry registry(m_prefix.prefix());
    const struct {
        const char* name;
        Hive hive;
        const char* key;
        const char* value;
        View view;
        std::optional<QString> expected;
    } rows[] = {
        // clang-format off
        {"DefaultValue", Hive::LocalMachine, kAppPath, "", View::Native, QStringLiteral("C:\\Games\\Descent3\\main.exe")},
        {"KeyInOtherCase", Hive::LocalMachine, "SOFTWARE\\microsoft\\windows\\currentversion\\app paths\\DESCENT 3.EXE", "Path", View::Native, QStringLiteral("C:\\Games\\Descent3")},
        {"ValueNameInOtherCase", Hive::LocalMachine, kAppPath, "PATH", View::Native, QStringLiteral("C:\\Games\\Descent3")},
        {"ExtraBackslashesInKey", Hive::LocalMachine, "\\Software\\\\Outrage\\Descent3\\", "OnlyPlain", View::Native, QStringLiteral("plain")},
        {"QuotesAndBackslashes", Hive::LocalMachine, kD3, "Quoted", View::Native, QStringLiteral("say \"hi\" \\ bye")},
        {"HexEscapes", Hive::LocalMachine, kD3, "NonAscii", View::Native, QString::fromUtf16(u"J\u00f6rg \u00e9a \u2603")},
        {"LetterEscapes", Hive::LocalMachine, kD3, "Controls", View::Native, QStringLiteral("tab\there\nnew\a")},
        {"OctalEscapes", Hive::LocalMachine, kD3, "Octal", View::Native, QStringLiteral("AB")},
        {"ExpandStringUnexpanded", Hive::LocalMachine, kD3, "Expand", View::Native, QStringLiteral("%ProgramFiles%\\Outrage")},
        {"ExpandStringAsHex", Hive::LocalMachine, kD3, "HexExpand", View::Native, QStringLiteral("%PF%\\D3")},
        {"DwordIsNoString", Hive::LocalMachine, kD3, "Version", View::Native, std::nullopt},
        {"MissingValue", Hive::LocalMachine, kD3, "Nothing", View::Native, std::nullopt},
        {"MissingKey", Hive::LocalMachine, "Software\\Nobody", "Path", View::Native, std::nullopt},
        {"CurrentUser", Hive::CurrentUser, kKquery, "game_desc3_params", View::Native, QStringLiteral("-foo -getmission abc -rund3 -bar")},
        {"NativeViewIgnoresThirtyTwoBit", Hive::LocalMachine, kD3, "BaseDirectory", View::Native, QStringLiteral("C:\\Plain\\")},
        {"ThirtyTwoBitViewFallsBackToPlain", Hive::LocalMachine, kD3, "OnlyPlain", View::Prefer32Bit, QStringLiteral("plain")},
        {"EscapedBracketInKeyName", Hive::LocalMachine, "Software\\Odd\\Br]acket", "v", View::Native, QStringLiteral("bracket")},
        // clang-format on
    };
    for (const auto& row : rows) {
        EXPECT_EQ(registry.readString(row.hive, row.key, row.value, row.view), row.expected)
            << row.name;
    }
}

// Binary data wrapped over several lines is read back in the write test below.
TEST_F(WineRegistryTest, ListsSubkeysInFileOrderAndKnowsKeysThatHaveNoSectionOfTheirOwn) {
    const WineRegistry registry(m_prefix.prefix());
    EXPECT_EQ(registry.subkeys(Hive::LocalMachine, "software"),
              QStringList({"Microsoft", "Outrage", "Wow6432Node", "Odd"}));
    EXPECT_EQ(registry.subkeys(Hive::LocalMachine, "Software\\Odd"),
              QStringList({"Br]acket", "Second"}));
    EXPECT_TRUE(registry.hasKey(Hive::LocalMachine, "Software\\Microsoft\\Windows"));
    EXPECT_FALSE(registry.hasKey(Hive::LocalMachine, "Software\\Micro"));
}

TEST_F(WineRegistryTest, MissingPrefixOrHiveIsARegistryWithoutKeysThatIsNeverWritten) {
    WineRegistry missing(m_prefix.root() + QStringLiteral("/no-prefix"));
    EXPECT_FALSE(missing.hasKey(Hive::LocalMachine, "Software"));
    QFile::remove(userReg());
    WineRegistry registry(m_prefix.prefix());
    EXPECT_FALSE(registry.writeString(Hive::CurrentUser, kKquery, "game_desc3", "x"));
    EXPECT_FALSE(QFile::exists(userReg()));
}

// Changed values keep their type and every other line, in order; the file is replaced, never
// written into, and a new key starts after one blank line, as Wine writes them.
TEST_F(WineRegistryTest, WritesKeepTypesAndEveryOtherLineAndReplaceTheFile) {
    m_prefix.writeUserReg(QString::fromUtf8(kUserReg) +
                          "\n[Software\\\\Empty] 1\n"
                          "\n[Software\\\\Kali\\\\Kali95\\\\Games\\\\Descent 3] 1\n"
                          "\"GameExe\"=str(2):\"%GAMES%\\\\main.exe\"\n\"Raw\"=hex:01,02\n");
    const QByteArray before = WinePrefixFixture::read(userReg());
    const QString link = m_prefix.root() + "/user.reg.old";
    ASSERT_EQ(::link(QFile::encodeName(userReg()).constData(), QFile::encodeName(link).constData()),
              0);
    WineRegistry registry(m_prefix.prefix());
    const QString kali = "Software\\Kali\\Kali95\\Games\\Descent 3";
    const QString newKey = "Software\\New\\Key";
    const QString text = "new \"text\"\\ J\u00f6rg\n";
    const QByteArray bytes = QByteArray::fromHex("00017f80fe0a").repeated(17);
    ASSERT_TRUE(registry.writeString(Hive::CurrentUser, kali, "gameexe", "Z:\\usr\\bin\\torv"));
    ASSERT_TRUE(registry.writeString(Hive::CurrentUser, kali, "CmdLineOpts", text));
    ASSERT_TRUE(registry.writeString(Hive::CurrentUser, kali, "Raw", "x"));
    ASSERT_TRUE(registry.writeString(Hive::CurrentUser, newKey, "", "default"));
    ASSERT_TRUE(registry.writeString(Hive::CurrentUser, "Software\\Empty", "first", "1"));
    ASSERT_TRUE(registry.writeValue(Hive::CurrentUser, newKey, {"data", RegBinary, bytes}));
    // A string value without its terminator cannot be written as a string; its bytes are kept.
    ASSERT_TRUE(registry.writeValue(Hive::CurrentUser, newKey, {"odd", RegSz, QByteArray("abc")}));

    // clang-format off
    const QPair<QString, RegistryValue> expected[] = {
        {kali, RegistryValue::fromString("GameExe", "Z:\\usr\\bin\\torv", RegExpandSz)},
        {kali, RegistryValue::fromString("CmdLineOpts", text)},
        {kali, RegistryValue::fromString("Raw", "x")},
        {newKey, RegistryValue::fromString("", "default")},
        {newKey, {"data", RegBinary, bytes}},
        {newKey, {"odd", RegSz, QByteArray("abc")}},
    };
    // clang-format on
    for (const auto& [key, value] : expected) {
        const auto stored = registry.readValue(Hive::CurrentUser, key, value.name);
        ASSERT_TRUE(stored.has_value()) << value.name.toStdString();
        EXPECT_EQ(stored->type, value.type) << value.name.toStdString();
        EXPECT_EQ(stored->data, value.data) << value.name.toStdString();
    }
    const QStringList lines = QString::fromUtf8(WinePrefixFixture::read(userReg())).split('\n');
    EXPECT_TRUE(lines.contains("\"CmdLineOpts\"=\"new \\\"text\\\"\\\\ J\\xf6rg\\n\""));
    EXPECT_TRUE(lines.join('\n').contains("\"\n\n[Software\\\\New\\\\Key] "));
    EXPECT_EQ(lines.value(lines.indexOf("[Software\\\\Empty] 1") + 1), "\"first\"=\"1\"")
        << "a key's first value follows its header";
    QStringList kept = QString::fromUtf8(before).split('\n');
    kept.removeIf([](const QString& line) {
        return line.isEmpty() || line.startsWith("\"GameExe\"") || line.startsWith("\"Raw\"");
    });
    QStringList inOrder = lines;
    inOrder.removeIf([&](const QString& line) { return !kept.contains(line); });
    EXPECT_EQ(inOrder, kept) << "lines lost, repeated or out of order";
    for (const QString& line : lines) {
        EXPECT_LE(line.size(), 80) << "binary data wraps like Wine's: " << line.toStdString();
        EXPECT_FALSE(line.endsWith(',')) << "a comma only between bytes: " << line.toStdString();
    }
    EXPECT_EQ(WinePrefixFixture::read(link), before) << "the old file was replaced, not written";
    m_prefix.writeUserReg(
        "[Software\\\\Kali\\\\Kali95\\\\Games\\\\Descent 3] 1\n\"Raw\"=\"wine\"\n");
    EXPECT_EQ(registry.readString(Hive::CurrentUser, kali, "Raw"), "wine") << "Wine changed it";
}

struct ServerWriteRow {
    const char* name;
    RegistryValue value;
    int wineStatus;  // -1: there is no wine program
    bool written;
    QStringList arguments;  // after "reg add"; empty: the reg tool is never called
};

// While a wineserver holds the prefix's lock, values go through Wine's reg tool, never the file.
TEST_F(WineRegistryTest, WritesGoThroughWineWhileAServerOfThePrefixRuns) {
    const QString hkcu = QStringLiteral("HKCU\\Software\\coldstorage\\Kquery4");
    // clang-format off
    const QList<ServerWriteRow> rows = {
        {"string with blanks and quotes", RegistryValue::fromString("game_desc3", "C:\\My Games\\\"D3\"\\main.exe"), 0, true, {hkcu, "/v", "game_desc3", "/t", "REG_SZ", "/d", "C:\\My Games\\\"D3\"\\main.exe", "/f"}},
        {"empty string", RegistryValue::fromString("game_desc3_params", ""), 0, true, {hkcu, "/v", "game_desc3_params", "/t", "REG_SZ", "/d", "", "/f"}},
        {"expandable string keeps its type", RegistryValue::fromString("x", "%ProgramFiles%\\D3", RegExpandSz), 0, true, {hkcu, "/v", "x", "/t", "REG_EXPAND_SZ", "/d", "%ProgramFiles%\\D3", "/f"}},
        {"default value", RegistryValue::fromString("", "d"), 0, true, {hkcu, "/ve", "/t", "REG_SZ", "/d", "d", "/f"}},
        {"reg tool fails", RegistryValue::fromString("game_desc3", "x"), 1, false, {hkcu, "/v", "game_desc3", "/t", "REG_SZ", "/d", "x", "/f"}},
        {"wine is missing", RegistryValue::fromString("game_desc3", "x"), -1, false, {}},
        {"type the reg tool cannot take", RegistryValue{"m", RegMultiSz, QByteArray("a\0\0\0\0\0", 6)}, 0, false, {}},
    };
    // clang-format on

    const QString serverRoot = m_prefix.makeFolder("server-root");
    const QString log = m_prefix.root() + "/wine.log";
    const QByteArray before = WinePrefixFixture::read(userReg());
    FakeWineServer server(serverRoot, m_prefix.prefix());
    ASSERT_TRUE(server.locked());
    const auto registryWith = [&](int wineStatus) {
        QFile::remove(log);
        const QString wine = m_prefix.root() + QStringLiteral("/wine%1").arg(wineStatus);
        if (wineStatus >= 0) {
            EXPECT_TRUE(torv::test::WriteFakeWine(wine, log, wineStatus));
        }
        WineRegistry registry(m_prefix.prefix());
        registry.setServerRoot(serverRoot);
        registry.setWineProgram(wine);
        return registry;
    };

    for (const ServerWriteRow& row : rows) {
        SCOPED_TRACE(row.name);
        WineRegistry registry = registryWith(row.wineStatus);
        EXPECT_EQ(registry.writeValue(Hive::CurrentUser, kKquery, row.value), row.written);
        const QString calls = QString::fromUtf8(WinePrefixFixture::read(log));
        const QStringList expected =
            QStringList{m_prefix.prefix(), "reg", "add"} + row.arguments + QStringList{"--"};
        EXPECT_EQ(calls, row.arguments.isEmpty() ? QString() : expected.join('\n') + '\n');
        EXPECT_EQ(WinePrefixFixture::read(userReg()), before);
    }

    // A lock file left behind by a server that has ended holds no lock: the file is written.
    server.stop();
    WineRegistry registry = registryWith(0);
    EXPECT_TRUE(registry.writeString(Hive::CurrentUser, kKquery, "game_desc3", "x"));
    EXPECT_FALSE(QFile::exists(log));
    EXPECT_EQ(registry.readString(Hive::CurrentUser, kKquery, "game_desc3"), "x");
}

TEST_F(WineRegistryTest, PathsGoThroughTheDriveLinksBothWays) {
    m_prefix.makeFolder("prefix/drive_c/Games/Descent3");
    const QString c = m_prefix.driveC();
    const QString d = m_prefix.makeFolder("media");
    m_prefix.linkDrive("d:", d);
    m_prefix.linkDrive("e:", m_prefix.root() + "/unplugged");
    const WineRegistry registry(m_prefix.prefix());
    // Without a Z: drive, Wine still maps Z: to the root.
    EXPECT_EQ(registry.toWindowsPath("/opt/torv/bin/torv"), "Z:\\opt\\torv\\bin\\torv");
    m_prefix.linkDrive("z:", "/");

    const QString realC = QDir(c).canonicalPath();
    const QString realD = QDir(d).canonicalPath();
    // clang-format off
    const QString toUnix[][2] = {
        {"c:\\GAMES\\descent3\\", realC + "/Games/Descent3/"},
        {"C:/Games/Descent3", realC + "/Games/Descent3"},
        {"C:\\Games\\New\\Dir", realC + "/Games/New/Dir"},
        {"C:\\", realC + "/"},
        {"D:\\maps", realD + "/maps"},
        {"Z:\\usr\\bin", "/usr/bin"},
        {"E:\\Games", ""},
        {"\\\\server\\share\\d3", ""},
        {"", ""},
    };
    for (const auto& [windowsPath, unixPath] : toUnix) {
        EXPECT_EQ(registry.toUnixPath(windowsPath), unixPath) << windowsPath.toStdString();
    }
    const QString toWindows[][2] = {
        {c + "/Games/", "C:\\Games\\"},
        {m_prefix.prefix() + "/dosdevices/c:/Games", "C:\\Games"},
        {d + "/maps", "D:\\maps"},
        {"/", "Z:\\"},
    };
    // clang-format on
    for (const auto& [unixPath, windowsPath] : toWindows) {
        EXPECT_EQ(registry.toWindowsPath(unixPath), windowsPath) << unixPath.toStdString();
    }
}

}  // namespace
