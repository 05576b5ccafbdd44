// Reads any text as Valve KeyValues within small bounds, and checks that a text it accepts stays
// within them and reads back the same when written out again in the quoted form Steam writes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/KeyValues.h"

namespace {

using torv::platform::KeyValue;

void check(bool condition) {
    if (!condition)
        std::abort();
}

std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                out += c;
        }
    }
    return out + "\"";
}

void write(const KeyValue& block, std::string& out) {
    for (const KeyValue& pair : block.children) {
        out += quoted(pair.key);
        if (pair.isBlock) {
            out += "\n{\n";
            write(pair, out);
            out += "}\n";
        } else {
            out += "\t" + quoted(pair.value) + "\n";
        }
    }
}

int depthOf(const KeyValue& block) {
    int deepest = 0;
    for (const KeyValue& pair : block.children) {
        check(pair.isBlock || pair.children.empty());
        if (pair.isBlock) {
            const int depth = 1 + depthOf(pair);
            deepest = depth > deepest ? depth : deepest;
        }
    }
    return deepest;
}

bool same(const KeyValue& a, const KeyValue& b) {
    if (a.key != b.key || a.value != b.value || a.isBlock != b.isBlock ||
        a.children.size() != b.children.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.children.size(); ++i) {
        if (!same(a.children[i], b.children[i]))
            return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const torv::platform::KeyValuesLimits limits{4096, 8, 256};
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto root = torv::platform::ParseKeyValues(text, limits);
    if (!root) {
        return 0;
    }
    check(size <= limits.maxBytes);
    check(depthOf(*root) <= limits.maxDepth);

    std::string again;
    write(*root, again);
    const auto reread = torv::platform::ParseKeyValues(again, {1 << 20, 8, 256});
    check(reread.has_value() && same(*root, *reread));
    return 0;
}
