// A fixed-capacity list of command-line tokens, as the tool and the front ends' parameter texts
// use them. Plain C++: no heap, nothing written past a slot.
#pragma once

#include <cstddef>

namespace torv {

class CTokenList {
public:
    static constexpr int kMaxTokens = 32;
    static constexpr std::size_t kSlotSize = 128;  // 127 characters and the terminating NUL

    CTokenList() = default;
    virtual ~CTokenList() = default;

    // Replaces the content with the tokens of a NUL-terminated text: blanks separate, a double
    // quote at the start of a token quotes up to the next double quote.
    void Split(const char* text);
    // Replaces the content with already split arguments, one token each.
    void Fill(int argc, const char* const* argv);

    int GetCount() const { return m_count; }
    // Index of the first token equal to the word without regard to ASCII letter case, or -1.
    int Find(const char* word) const;
    // The token at the index, or null when the index is outside the list.
    const char* GetAt(int index) const;

    // True when the last split or fill had to drop tokens or characters to stay in bounds.
    bool WasTruncated() const { return m_truncated; }

private:
    class Writer;

    int m_count = 0;
    bool m_truncated = false;
    char m_slots[kMaxTokens][kSlotSize] = {};
};

}  // namespace torv
