#include "common/TokenList.h"

#include <cstring>

namespace torv {
namespace {

bool equalsNoCase(const char* a, const char* b) {
    for (;; ++a, ++b) {
        char ca = *a;
        char cb = *b;
        if (ca >= 'A' && ca <= 'Z') {
            ca = char(ca - 'A' + 'a');
        }
        if (cb >= 'A' && cb <= 'Z') {
            cb = char(cb - 'A' + 'a');
        }
        if (ca != cb) {
            return false;
        }
        if (ca == '\0') {
            return true;
        }
    }
}

// "/GetMission" is how Windows users write options. On Unix a leading "/" also starts every
// absolute path, so only a token that thereby becomes one of the tool's own options is rewritten.
void rewriteSlashOption(char* token) {
    static const char* const kOwnOptions[] = {"-getmission", "-rund3", "-launched"};
    if (token[0] != '/') {
        return;
    }
    token[0] = '-';
    for (const char* option : kOwnOptions) {
        if (equalsNoCase(token, option)) {
            return;
        }
    }
    token[0] = '/';
}

}  // namespace

// Appends characters to the current slot and moves to the next, dropping what does not fit.
class CTokenList::Writer {
public:
    explicit Writer(CTokenList& list) : m_list(list) {
        std::memset(m_list.m_slots, 0, sizeof m_list.m_slots);
        m_list.m_truncated = false;
    }
    ~Writer() {
        m_list.m_count = m_index + 1;
        for (int i = 0; i < m_list.m_count; ++i)
            rewriteSlashOption(m_list.m_slots[i]);
    }

    void append(char c) {
        if (m_length + 1 >= kSlotSize) {
            m_list.m_truncated = true;
            return;
        }
        m_list.m_slots[m_index][m_length++] = c;
    }
    bool empty() const { return m_length == 0; }
    // False when the list is full; the caller then stops taking text.
    bool next() {
        if (m_index + 1 >= kMaxTokens) {
            m_list.m_truncated = true;
            return false;
        }
        ++m_index;
        m_length = 0;
        return true;
    }

private:
    CTokenList& m_list;
    int m_index = 0;
    std::size_t m_length = 0;
};

void CTokenList::Split(const char* text) {
    Writer token(*this);
    if (text == nullptr) {
        return;
    }
    const std::size_t n = std::strlen(text);
    bool quoting = false;
    std::size_t i = 0;
    while (i < n) {
        const char c = text[i];
        if (token.empty() && c == '"') {
            quoting = true;
            ++i;
            continue;
        }
        const char separator = quoting ? '"' : ' ';
        if (c != separator) {
            token.append(c);
            ++i;
            continue;
        }
        // A closing quote or a blank: skip the blanks after it; the next token starts after them.
        ++i;
        while (i < n && text[i] == ' ')
            ++i;
        if (i >= n) {
            break;
        }
        if (!token.next()) {
            break;
        }
        quoting = false;
    }
}

void CTokenList::Fill(int argc, const char* const* argv) {
    Writer token(*this);
    for (int i = 0; i < argc; ++i) {
        if (i > 0 && !token.next()) {
            break;
        }
        for (const char* p = argv[i]; p != nullptr && *p != '\0'; ++p)
            token.append(*p);
    }
}

int CTokenList::Find(const char* word) const {
    if (word == nullptr) {
        return -1;
    }
    for (int i = 0; i < m_count; ++i) {
        if (equalsNoCase(m_slots[i], word)) {
            return i;
        }
    }
    return -1;
}

const char* CTokenList::GetAt(int index) const {
    if (index < 0 || index >= m_count) {
        return nullptr;
    }
    return m_slots[index];
}

}  // namespace torv
