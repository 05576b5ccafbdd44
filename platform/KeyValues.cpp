#include "platform/KeyValues.h"

namespace torv::platform {

namespace {

bool sameNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

class Reader {
public:
    Reader(std::string_view text, const KeyValuesLimits& limits) : m_text(text), m_limits(limits) {}

    bool readBlock(KeyValue& block, int depth) {
        if (depth > m_limits.maxDepth) {
            return false;
        }
        for (;;) {
            Token key = next();
            if (key.kind == Token::End) {
                return depth == 0;
            }
            if (key.kind == Token::Close) {
                return depth > 0;
            }
            if (key.kind != Token::Text || ++m_pairs > m_limits.maxPairs) {
                return false;
            }
            KeyValue pair;
            pair.key = std::move(key.text);
            Token value = next();
            if (value.kind == Token::Text) {
                pair.value = std::move(value.text);
            } else if (value.kind == Token::Open) {
                pair.isBlock = true;
                if (!readBlock(pair, depth + 1)) {
                    return false;
                }
            } else {
                return false;
            }
            skipCondition();
            block.children.push_back(std::move(pair));
        }
    }

private:
    struct Token {
        enum Kind { End, Open, Close, Text, Bad } kind = End;
        std::string text;
    };

    void skipBlanksAndComments() {
        while (m_pos < m_text.size()) {
            if (isBlank(m_text[m_pos])) {
                ++m_pos;
            } else if (m_text.substr(m_pos, 2) == "//") {
                const std::size_t end = m_text.find('\n', m_pos);
                m_pos = end == std::string_view::npos ? m_text.size() : end + 1;
            } else {
                return;
            }
        }
    }

    // A platform condition such as [$WIN32] after a value applies to other programs' readers;
    // it is read past and the pair kept.
    void skipCondition() {
        skipBlanksAndComments();
        if (m_pos < m_text.size() && m_text[m_pos] == '[') {
            const std::size_t end = m_text.find(']', m_pos);
            m_pos = end == std::string_view::npos ? m_text.size() : end + 1;
        }
    }

    Token next() {
        skipBlanksAndComments();
        Token token;
        if (m_pos >= m_text.size()) {
            return token;
        }
        const char c = m_text[m_pos];
        if (c == '{' || c == '}') {
            ++m_pos;
            token.kind = c == '{' ? Token::Open : Token::Close;
            return token;
        }
        token.kind = Token::Text;
        if (c == '"') {
            return quoted();
        }
        while (m_pos < m_text.size() && !isBlank(m_text[m_pos]) && m_text[m_pos] != '"' &&
               m_text[m_pos] != '{' && m_text[m_pos] != '}') {
            token.text += m_text[m_pos++];
        }
        return token;
    }

    Token quoted() {
        Token token;
        token.kind = Token::Text;
        ++m_pos;
        while (m_pos < m_text.size()) {
            const char c = m_text[m_pos++];
            if (c == '"') {
                return token;
            }
            if (c == '\\' && m_pos < m_text.size()) {
                const char escaped = m_text[m_pos++];
                switch (escaped) {
                    case 'n':
                        token.text += '\n';
                        break;
                    case 't':
                        token.text += '\t';
                        break;
                    case '\\':
                    case '"':
                        token.text += escaped;
                        break;
                    default:
                        // Not an escape Steam writes: both characters stay.
                        token.text += '\\';
                        token.text += escaped;
                        break;
                }
                continue;
            }
            token.text += c;
        }
        token.kind = Token::Bad;
        return token;
    }

    std::string_view m_text;
    const KeyValuesLimits& m_limits;
    std::size_t m_pos = 0;
    std::size_t m_pairs = 0;
};

}  // namespace

const KeyValue* KeyValue::find(std::string_view name) const {
    for (const KeyValue& child : children) {
        if (sameNoCase(child.key, name)) {
            return &child;
        }
    }
    return nullptr;
}

std::optional<KeyValue> ParseKeyValues(std::string_view text, const KeyValuesLimits& limits) {
    if (text.size() > limits.maxBytes) {
        return std::nullopt;
    }
    if (text.substr(0, 3) == "\xEF\xBB\xBF") {
        text.remove_prefix(3);
    }
    KeyValue root;
    root.isBlock = true;
    Reader reader(text, limits);
    if (!reader.readBlock(root, 0)) {
        return std::nullopt;
    }
    return root;
}

}  // namespace torv::platform
