#include <gtest/gtest.h>

#include <QString>
#include <utility>

#include "common/LogLine.h"
#include "common/Paths.h"

namespace torv {
namespace {

TEST(LogLine, RemovesControlsAndKeepsTheLength) {
    // clang-format off
    const std::pair<QString, QString> cases[] = {
        {"a\tb\r\nc", "abc   "},
        {QString("x\x1b[31my\x7f"), "x[31my  "},
        {QString::fromUtf8("D3 Path is [/home/Jürgen/Spiele/]."), QString::fromUtf8("D3 Path is [/home/Jürgen/Spiele/].")},
        {QString::fromUtf8("a\u0085b"), "ab "},  // a C1 control
    };
    // clang-format on
    for (const auto& [line, shown] : cases) {
        EXPECT_EQ(CleanLogLine(line), shown) << line.toStdString();
    }
}

TEST(JoinPath, AddsOneSeparatorOnly) {
    EXPECT_EQ(JoinPath("/games/d3/", "main.exe"), "/games/d3/main.exe");
    EXPECT_EQ(JoinPath("/games/d3", "main.exe"), "/games/d3/main.exe");
    EXPECT_EQ(JoinPath("", "main.exe"), "/main.exe");
}

}  // namespace
}  // namespace torv
