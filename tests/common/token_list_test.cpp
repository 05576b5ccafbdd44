#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/TokenList.h"

namespace torv {
namespace {

std::vector<std::string> TokensOf(const CTokenList& list) {
    std::vector<std::string> tokens;
    for (int i = 0; i < list.GetCount(); ++i) {
        tokens.emplace_back(list.GetAt(i));
    }
    return tokens;
}

TEST(TokenList, SplitGivesTheTokensAPlayerWouldExpect) {
    struct Case {
        const char* text;
        std::vector<std::string> tokens;
    };
    // clang-format off
    const Case cases[] = {
        {"", {""}},
        {"TORV   ", {"TORV"}},
        {" TORV -rund3", {"", "TORV", "-rund3"}},
        {"a   b", {"a", "b"}},
        {"a\tb c", {"a\tb", "c"}},
        {"\"a b\"c", {"a b", "c"}},  // the closing quote ends the token even before text
        {"ab\"cd", {"ab\"cd"}},
        {"x \"my level.mn3", {"x", "my level.mn3"}},
        {"a \"\" b", {"a", " b"}},
        {"\"C:\\Program Files\\torv.exe\" -getmission btc", {"C:\\Program Files\\torv.exe", "-getmission", "btc"}},
        {"TORV /GETMISSION btc.mn3 /RUND3 /Launched", {"TORV", "-GETMISSION", "btc.mn3", "-RUND3", "-Launched"}},
        {"/usr/bin/torv /nointro /rund3x", {"/usr/bin/torv", "/nointro", "/rund3x"}},
    };
    // clang-format on
    for (const Case& row : cases) {
        SCOPED_TRACE(row.text);
        CTokenList list;
        list.Split(row.text);
        EXPECT_EQ(TokensOf(list), row.tokens);
        EXPECT_FALSE(list.WasTruncated());
    }
}

TEST(TokenList, FindsTheFirstTokenWithoutCaseAndNothingOutsideTheList) {
    CTokenList list;
    list.Split("TORV -RunD3 -getmission btc -rund3");
    EXPECT_EQ(list.Find("-rund3"), 1);
    EXPECT_EQ(list.Find("-GETMISSION"), 2);
    EXPECT_EQ(list.Find("-nointro"), -1);
    EXPECT_EQ(list.Find(nullptr), -1);
    EXPECT_EQ(CTokenList().Find(""), -1) << "an empty list finds nothing, not even an empty word";
    EXPECT_EQ(list.GetAt(5), nullptr);
    EXPECT_EQ(list.GetAt(-1), nullptr);
    EXPECT_EQ(CTokenList().GetAt(0), nullptr);
}

TEST(TokenList, FillTakesOneArgumentPerTokenWithBlanksAndQuotesIntact) {
    const char* argv[] = {"/opt/torv/torv", "/getmission", "my \"level\".mn3", "", "/home/x"};
    CTokenList list;
    list.Fill(5, argv);
    EXPECT_EQ(TokensOf(list), (std::vector<std::string>{"/opt/torv/torv", "-getmission",
                                                        "my \"level\".mn3", "", "/home/x"}));
}

TEST(TokenList, KeepsThirtyTwoTokensOf127CharactersAndSaysSo) {
    std::string many;
    for (int i = 0; i < 40; ++i) {
        many += std::to_string(i) + "t ";
    }
    CTokenList list;
    list.Split(many.c_str());
    EXPECT_EQ(list.GetCount(), CTokenList::kMaxTokens);
    EXPECT_STREQ(list.GetAt(31), "31t");
    EXPECT_TRUE(list.WasTruncated());

    list.Split(("a " + std::string(300, 'x') + " b").c_str());
    EXPECT_EQ(TokensOf(list), (std::vector<std::string>{"a", std::string(127, 'x'), "b"}));
    EXPECT_TRUE(list.WasTruncated());

    list.Split("fits");
    EXPECT_FALSE(list.WasTruncated()) << "a later split starts afresh";

    const std::string longArgument(200, 'y');
    const std::vector<const char*> argv(50, longArgument.c_str());
    list.Fill(int(argv.size()), argv.data());
    EXPECT_EQ(TokensOf(list),
              std::vector<std::string>(CTokenList::kMaxTokens, std::string(127, 'y')));
    EXPECT_TRUE(list.WasTruncated());
}

}  // namespace
}  // namespace torv
