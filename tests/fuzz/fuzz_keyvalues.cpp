// Reads any text as Valve KeyValues within small bounds, and checks that a text it accepts stays
// within them and reads back the same when written out again in the quoted form Steam writes.
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "platform/KeyValues.h"

namespace {

using torv::platform::KeyValue;

constexpr torv::platform::KeyValuesLimits kLimits{4096, 8, 256};

std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        const size_t escaped = std::string_view("\"\\\n\t").find(c);
        out += escaped == std::string_view::npos ? std::string(1, c)
                                                 : std::string("\\") + "\"\\nt"[escaped];
    }
    return out + "\"";
}

// Two trees are the same exactly when they write the same text. No block lies deeper than allowed.
std::string written(const KeyValue& block, int depth = 0) {
    check(depth <= kLimits.maxDepth);
    std::string out;
    for (const KeyValue& pair : block.children) {
        check(pair.isBlock || pair.children.empty());
        out += quoted(pair.key);
        out += pair.isBlock ? "\n{\n" + written(pair, depth + 1) + "}\n"
                            : "\t" + quoted(pair.value) + "\n";
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto root = torv::platform::ParseKeyValues(text, kLimits);
    if (!root) {
        return 0;
    }
    check(size <= kLimits.maxBytes);
    const std::string again = written(*root);
    const auto reread = torv::platform::ParseKeyValues(again, {1 << 20, kLimits.maxDepth, 256});
    check(reread.has_value() && written(*reread) == again);
    return 0;
}
