// A reader of Valve's KeyValues text, the format of Steam's .vdf and .acf files: quoted (or bare)
// keys, each followed by a quoted value or a braced block of further pairs; "//" comments; the
// escapes \n \t \\ \" inside quotes. Plain C++ without Qt: the input comes from outside.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace torv::platform {

struct KeyValue {
    std::string key;
    std::string value;  // empty for a block
    std::vector<KeyValue> children;
    bool isBlock = false;

    // The first child whose key equals key without regard to ASCII case, as Steam compares them.
    const KeyValue* find(std::string_view key) const;
};

struct KeyValuesLimits {
    std::size_t maxBytes = 4 * 1024 * 1024;
    int maxDepth = 32;
    std::size_t maxPairs = 100000;
};

// The pairs of the text as the children of an unnamed block; nothing for a text that is too big,
// too deep, or not well formed (an unterminated quote or block, a key without a value).
std::optional<KeyValue> ParseKeyValues(std::string_view text, const KeyValuesLimits& limits = {});

}  // namespace torv::platform
