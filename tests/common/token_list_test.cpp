#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/TokenList.h"

namespace torv {
namespace {

std::vector<std::string> tokensOf(const CTokenList& list) {
    std::vector<std::string> tokens;
    for (int i = 0; i < list.GetCount(); ++i)
        tokens.emplace_back(list.GetAt(i));
    return tokens;
}

struct SplitCase {
    const char* name;
    const char* text;
    std::vector<std::string> tokens;
};

class SplitTest : public testing::TestWithParam<SplitCase> {};

TEST_P(SplitTest, GivesTheTokensAPlayerWouldExpect) {
    CTokenList list;
    list.Split(GetParam().text);
    EXPECT_EQ(tokensOf(list), GetParam().tokens);
    EXPECT_FALSE(list.WasTruncated());
}

INSTANTIATE_TEST_SUITE_P(
    Consequences, SplitTest,
    testing::Values(
        SplitCase{"EmptyTextGivesOneEmptyToken", "", {""}},
        SplitCase{"TrailingBlanksMakeNoToken", "TORV   ", {"TORV"}},
        SplitCase{"LeadingBlankGivesEmptyTokenZero", " TORV -rund3", {"", "TORV", "-rund3"}},
        SplitCase{"RunsOfBlanksSeparateOnce", "a   b", {"a", "b"}},
        SplitCase{"TabIsTokenText", "a\tb c", {"a\tb", "c"}},
        SplitCase{"ClosingQuoteEndsTokenEvenBeforeText", "\"a b\"c", {"a b", "c"}},
        SplitCase{"QuoteInsideUnquotedTokenIsText", "ab\"cd", {"ab\"cd"}},
        SplitCase{"MissingClosingQuoteRunsToEnd", "x \"my level.mn3", {"x", "my level.mn3"}},
        SplitCase{"EmptyQuotePairGivesNoEmptyToken", "a \"\" b", {"a", " b"}},
        SplitCase{"QuotedPathWithBlanks",
                  "\"C:\\Program Files\\torv.exe\" -getmission btc",
                  {"C:\\Program Files\\torv.exe", "-getmission", "btc"}},
        SplitCase{"BlanksAfterClosingQuoteAtEnd", "a \"b\"   ", {"a", "b"}},
        SplitCase{"SlashOptionsBecomeDashOptions",
                  "TORV /GETMISSION btc.mn3 /RUND3 /Launched",
                  {"TORV", "-GETMISSION", "btc.mn3", "-RUND3", "-Launched"}},
        SplitCase{"OtherSlashTokensStayPaths",
                  "/usr/bin/torv /nointro /rund3x",
                  {"/usr/bin/torv", "/nointro", "/rund3x"}}),
    [](const testing::TestParamInfo<SplitCase>& info) { return std::string(info.param.name); });

TEST(TokenListFind, ComparesLettersWithoutCaseAndFindsTheFirst) {
    CTokenList list;
    list.Split("TORV -RunD3 -getmission btc -rund3");
    EXPECT_EQ(list.Find("-rund3"), 1);
    EXPECT_EQ(list.Find("-GETMISSION"), 2);
    EXPECT_EQ(list.Find("-nointro"), -1);
    EXPECT_EQ(list.Find(nullptr), -1);
    EXPECT_EQ(CTokenList().Find(""), -1) << "an empty list finds nothing, not even an empty word";
}

TEST(TokenListGetAt, IsNullOutsideTheList) {
    CTokenList list;
    list.Split("a b c");
    ASSERT_EQ(list.GetCount(), 3);
    EXPECT_EQ(list.GetAt(3), nullptr);
    EXPECT_EQ(list.GetAt(-1), nullptr);
    EXPECT_EQ(CTokenList().GetAt(0), nullptr);
}

TEST(TokenListBounds, KeepsThirtyTwoTokensOf127CharactersAndSaysSo) {
    std::string text;
    for (int i = 0; i < 40; ++i) {
        // Appended piece by piece: GCC 12 sees a false overlap in "t" + std::string.
        text += 't';
        text += std::to_string(i) + ' ';
    }
    CTokenList list;
    list.Split(text.c_str());
    EXPECT_EQ(list.GetCount(), CTokenList::kMaxTokens);
    EXPECT_STREQ(list.GetAt(31), "t31");
    EXPECT_TRUE(list.WasTruncated());

    const std::string longToken(300, 'x');
    list.Split(("a " + longToken + " b").c_str());
    ASSERT_EQ(list.GetCount(), 3);
    EXPECT_EQ(std::string(list.GetAt(1)), std::string(127, 'x'));
    EXPECT_STREQ(list.GetAt(2), "b");
    EXPECT_TRUE(list.WasTruncated());

    list.Split("fits");
    EXPECT_FALSE(list.WasTruncated()) << "a later split starts afresh";
}

TEST(TokenListFill, TakesOneArgumentPerTokenWithBlanksAndQuotesIntact) {
    const char* argv[] = {"/opt/torv/torv", "/getmission", "my \"level\".mn3", "", "/home/x"};
    CTokenList list;
    list.Fill(5, argv);
    EXPECT_EQ(tokensOf(list), (std::vector<std::string>{"/opt/torv/torv", "-getmission",
                                                        "my \"level\".mn3", "", "/home/x"}));
    EXPECT_EQ(list.Find("-getmission"), 1);
}

TEST(TokenListFill, StaysInBoundsWithTooManyOrTooLongArguments) {
    std::vector<std::string> storage(50, std::string(200, 'y'));
    std::vector<const char*> argv;
    for (const std::string& s : storage)
        argv.push_back(s.c_str());
    CTokenList list;
    list.Fill(int(argv.size()), argv.data());
    EXPECT_EQ(list.GetCount(), CTokenList::kMaxTokens);
    EXPECT_EQ(std::string(list.GetAt(31)), std::string(127, 'y'));
    EXPECT_TRUE(list.WasTruncated());
}

}  // namespace
}  // namespace torv
