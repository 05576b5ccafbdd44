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

// One list for every row: a split starts afresh after one that did not fit.
TEST(TokenList, SplitGivesTheTokensAPlayerWouldExpect) {
    struct Case {
        std::string text;
        std::vector<std::string> tokens;
        bool truncated;
    };
    std::string full;  // as many tokens as the list holds
    for (int i = 0; i < CTokenList::kMaxTokens; ++i) {
        full += "t ";
    }
    // clang-format off
    const Case cases[] = {
        {"", {""}, false},
        {"TORV   ", {"TORV"}, false},
        {" TORV -rund3", {"", "TORV", "-rund3"}, false},
        {"a   b", {"a", "b"}, false},
        {"a\tb c", {"a\tb", "c"}, false},
        {"\"a b\"c", {"a b", "c"}, false},  // the closing quote ends the token even before text
        {"ab\"cd", {"ab\"cd"}, false},
        {"x \"my level.mn3", {"x", "my level.mn3"}, false},
        {"a \"\" b", {"a", " b"}, false},
        {"\"C:\\Program Files\\torv.exe\" -getmission btc", {"C:\\Program Files\\torv.exe", "-getmission", "btc"}, false},
        {"TORV /GETMISSION btc.mn3 /RUND3 /Launched", {"TORV", "-GETMISSION", "btc.mn3", "-RUND3", "-Launched"}, false},
        {"/usr/bin/torv /nointro /rund3x", {"/usr/bin/torv", "/nointro", "/rund3x"}, false},
        {full + "extra more", std::vector<std::string>(CTokenList::kMaxTokens, "t"), true},
        {"fits", {"fits"}, false},
        {"a " + std::string(300, 'x') + " b", {"a", std::string(127, 'x'), "b"}, true},
    };
    // clang-format on
    CTokenList list;
    for (const Case& row : cases) {
        SCOPED_TRACE(row.text);
        list.Split(row.text.c_str());
        EXPECT_EQ(TokensOf(list), row.tokens);
        EXPECT_EQ(list.WasTruncated(), row.truncated);
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
    CTokenList ends;  // the first and the last letter fold too, on either side
    ends.Split("AZ az");
    EXPECT_EQ(ends.Find("az"), 0);
    ends.Split("az AZ");
    EXPECT_EQ(ends.Find("AZ"), 0);
}

// Blanks and quotes stay as they are; at most 32 tokens of 127 characters.
TEST(TokenList, FillTakesOneArgumentPerToken) {
    const char* argv[] = {"/opt/torv/torv", "/getmission", "my \"level\".mn3", "", "/home/x"};
    CTokenList list;
    list.Fill(5, argv);
    EXPECT_EQ(TokensOf(list), (std::vector<std::string>{"/opt/torv/torv", "-getmission",
                                                        "my \"level\".mn3", "", "/home/x"}));
    EXPECT_FALSE(list.WasTruncated());
    const std::string longArgument(200, 'y');
    const std::vector<const char*> many(50, longArgument.c_str());
    list.Fill(int(many.size()), many.data());
    EXPECT_EQ(TokensOf(list),
              std::vector<std::string>(CTokenList::kMaxTokens, std::string(127, 'y')));
    EXPECT_TRUE(list.WasTruncated());
}

}  // namespace
}  // namespace torv
