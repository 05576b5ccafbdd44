// Splits any text, and fills the list from any argument vector, checking the list's bounds and
// the answers Find and GetAt give.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "common/TokenList.h"
#include "fuzz_check.h"

namespace {

// Returns the length of all tokens together.
size_t checkList(const torv::CTokenList& list) {
    const int count = list.GetCount();
    size_t total = 0;
    check(count >= 1 && count <= torv::CTokenList::kMaxTokens);
    check(list.GetAt(count) == nullptr && list.GetAt(-1) == nullptr);
    for (int i = 0; i < count; ++i) {
        const char* token = list.GetAt(i);
        check(token != nullptr && std::strlen(token) < torv::CTokenList::kSlotSize);
        const int found = list.Find(token);
        check(found >= 0 && found <= i);
        total += std::strlen(token);
    }
    return total;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);

    torv::CTokenList list;
    list.Split(text.c_str());  // stops at the first NUL, as a command line would
    // Splitting never makes more text than it was given.
    check(checkList(list) <= std::strlen(text.c_str()));

    // The same bytes as an argument vector, NUL-separated.
    std::vector<const char*> argv;
    for (size_t start = 0; start <= size;) {
        argv.push_back(text.c_str() + start);
        start += std::strlen(text.c_str() + start) + 1;
    }
    torv::CTokenList filled;
    filled.Fill(int(argv.size()), argv.data());
    checkList(filled);
    check(filled.GetCount() == int(argv.size() < 32 ? argv.size() : 32));
    return 0;
}
