#include "platform/KeyValues.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using torv::platform::KeyValue;
using torv::platform::KeyValuesLimits;
using torv::platform::ParseKeyValues;

struct ReadRow {
    const char* name;
    std::string text;
    std::vector<std::string> path;  // keys from the top; the last names a value
    const char* expected;           // nullptr: the text is rejected
};

class KeyValuesRead : public ::testing::TestWithParam<ReadRow> {};

TEST_P(KeyValuesRead, GivesTheValueAtThePathOrRejectsTheText) {
    const auto root = ParseKeyValues(GetParam().text);
    if (GetParam().expected == nullptr) {
        EXPECT_FALSE(root.has_value());
        return;
    }
    ASSERT_TRUE(root.has_value());
    const KeyValue* node = &*root;
    for (const std::string& key : GetParam().path) {
        node = node->find(key);
        ASSERT_NE(node, nullptr) << key;
    }
    EXPECT_FALSE(node->isBlock);
    EXPECT_EQ(node->value, GetParam().expected);
}

const std::string kLibraries =
    "\"libraryfolders\"\n{\n\t\"0\"\n\t{\n\t\t\"path\"\t\t\"/home/p/.local/share/Steam\"\n"
    "\t\t\"apps\"\n\t\t{\n\t\t\t\"228980\"\t\t\"123\"\n\t\t}\n\t}\n"
    "\t\"1\"\n\t{\n\t\t\"path\"\t\t\"/mnt/games/SteamLibrary\"\n"
    "\t\t\"apps\"\n\t\t{\n\t\t\t\"273590\"\t\t\"456\"\n\t\t}\n\t}\n}\n";

// clang-format off
INSTANTIATE_TEST_SUITE_P(Texts, KeyValuesRead, ::testing::Values(
    ReadRow{"NestedBlocks", kLibraries, {"libraryfolders", "1", "path"}, "/mnt/games/SteamLibrary"},
    ReadRow{"KeysIgnoreCase", kLibraries, {"LibraryFolders", "1", "APPS", "273590"}, "456"},
    ReadRow{"FirstOfTwoEqualKeys", "\"a\" \"1\" \"A\" \"2\"", {"a"}, "1"},
    ReadRow{"Comments", "// head\n\"a\" // after the key\n\"x // y\" // tail", {"a"}, "x // y"},
    ReadRow{"Escapes", R"("a" "C:\\Games\\D3 \"x\"\ty\n")", {"a"}, "C:\\Games\\D3 \"x\"\ty\n"},
    ReadRow{"UnknownEscapeKept", R"("a" "\q")", {"a"}, "\\q"},
    ReadRow{"BareTokens", "AppState { installdir Descent3 }", {"AppState", "installdir"}, "Descent3"},
    ReadRow{"EmptyValue", "\"a\" \"\"", {"a"}, ""},
    ReadRow{"ConditionAfterValue", "\"a\" \"1\" [$WIN32] \"b\" \"2\"", {"b"}, "2"},
    ReadRow{"ByteOrderMark", "\xEF\xBB\xBF\"a\" \"1\"", {"a"}, "1"},
    ReadRow{"UnterminatedQuote", "\"a\" \"open", {"a"}, nullptr},
    ReadRow{"UnclosedBlock", "\"a\" { \"b\" \"1\"", {"a"}, nullptr},
    ReadRow{"StrayClose", "\"a\" \"1\" }", {"a"}, nullptr},
    ReadRow{"KeyWithoutValue", "\"a\" { \"b\" }", {"a"}, nullptr},
    ReadRow{"BlockWithoutKey", "{ \"a\" \"1\" }", {"a"}, nullptr}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

std::string nested(int depth) {
    std::string open;
    std::string close;
    for (int i = 0; i < depth; ++i) {
        open += "\"k\" { ";
        close += "} ";
    }
    return open + "\"v\" \"1\" " + close;
}

TEST(KeyValuesBounds, DepthSizeAndPairCountAreBounded) {
    const KeyValuesLimits limits{1000, 4, 10};
    EXPECT_TRUE(ParseKeyValues(nested(4), limits).has_value());
    EXPECT_FALSE(ParseKeyValues(nested(5), limits).has_value());
    // Deep enough to overflow the stack of a reader without the bound.
    EXPECT_FALSE(ParseKeyValues(nested(200000)).has_value());

    std::string pairs;
    for (int i = 0; i < 10; ++i) {
        pairs += "\"a\" \"b\"\n";
    }
    EXPECT_TRUE(ParseKeyValues(pairs, limits).has_value());
    EXPECT_FALSE(ParseKeyValues(pairs + "\"a\" \"b\"", limits).has_value());
    EXPECT_FALSE(ParseKeyValues(std::string(1001, ' '), limits).has_value());
}

}  // namespace
