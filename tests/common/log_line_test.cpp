#include <gtest/gtest.h>

#include <QString>

#include "common/LogLine.h"
#include "common/Paths.h"

namespace torv {
namespace {

struct LogCase {
    const char* name;
    QString line;
    QString shown;
};

class LogLineTest : public testing::TestWithParam<LogCase> {};

TEST_P(LogLineTest, RemovesControlsAndKeepsTheLength) {
    const QString shown = CleanLogLine(GetParam().line);
    EXPECT_EQ(shown, GetParam().shown);
    EXPECT_EQ(shown.size(), GetParam().line.size());
}

INSTANTIATE_TEST_SUITE_P(
    Rules, LogLineTest,
    testing::Values(LogCase{"TabAndLineBreak", "a\tb\r\nc", "abc   "},
                    LogCase{"EscapeAndDelete", QString("x\x1b[31my\x7f"), "x[31my  "},
                    LogCase{"NonAsciiNameStays",
                            QString::fromUtf8("D3 Path is [/home/Jürgen/Spiele/]."),
                            QString::fromUtf8("D3 Path is [/home/Jürgen/Spiele/].")},
                    LogCase{"C1ControlRemoved", QString::fromUtf8("a\u0085b"), "ab "}),
    [](const testing::TestParamInfo<LogCase>& info) { return std::string(info.param.name); });

TEST(JoinPath, AddsOneSeparatorOnly) {
    EXPECT_EQ(JoinPath("/games/d3/", "main.exe"), "/games/d3/main.exe");
    EXPECT_EQ(JoinPath("/games/d3", "main.exe"), "/games/d3/main.exe");
    EXPECT_EQ(JoinPath("", "main.exe"), "/main.exe");
}

}  // namespace
}  // namespace torv
