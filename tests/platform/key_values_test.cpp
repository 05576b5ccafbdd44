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
    KeyValuesLimits limits = {};
};

class KeyValuesRead : public ::testing::TestWithParam<ReadRow> {};

TEST_P(KeyValuesRead, GivesTheValueAtThePathOrRejectsTheText) {
    const auto root = ParseKeyValues(GetParam().text, GetParam().limits);
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

std::string repeated(const std::string& text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) {
        out += text;
    }
    return out;
}

const KeyValuesLimits kSmall{1000, 4, 10};

// clang-format off
INSTANTIATE_TEST_SUITE_P(Texts, KeyValuesRead, ::testing::Values(
    ReadRow{"NestedBlocks", "\"a\"\n{\n\t\"b\"\t\t\"1\"\n\t\"c\"\n\t{\n\t\t\"d\"\t\t\"2\"\n\t}\n}\n", {"a", "c", "d"}, "2"},
    ReadRow{"KeysIgnoreCase", "\"a\" { \"B\" { \"c\" \"1\" } }", {"A", "b", "C"}, "1"},
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
    ReadRow{"BlockWithoutKey", "{ \"a\" \"1\" }", {"a"}, nullptr},
    ReadRow{"DepthAtTheBound", repeated("k { ", 4) + "v 1" + repeated(" }", 4), {"k", "k", "k", "k", "v"}, "1", kSmall},
    ReadRow{"DepthPastTheBound", repeated("k { ", 5) + "v 1" + repeated(" }", 5), {}, nullptr, kSmall},
    ReadRow{"DeepEnoughToOverflowAReaderWithoutTheBound", repeated("k { ", 200000) + "v 1" + repeated(" }", 200000), {}, nullptr},
    ReadRow{"PairsAtTheBound", repeated("a b\n", 10), {"a"}, "b", kSmall},
    ReadRow{"PairsPastTheBound", repeated("a b\n", 11), {}, nullptr, kSmall},
    ReadRow{"SizePastTheBound", std::string(1001, ' '), {}, nullptr, kSmall}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

}  // namespace
