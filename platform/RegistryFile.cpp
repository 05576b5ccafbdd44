#include "platform/RegistryFile.h"

#include <QtEndian>

namespace torv::platform {

namespace {

QString fold(const QString& text) {
    return text.toCaseFolded();
}

bool isHexDigit(QChar c) {
    return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) ||
           (c >= QLatin1Char('a') && c <= QLatin1Char('f')) ||
           (c >= QLatin1Char('A') && c <= QLatin1Char('F'));
}

QByteArray utf16Data(const QString& text) {
    QByteArray data;
    data.reserve((text.size() + 1) * 2);
    for (const QChar c : text) {
        data.append(char(c.unicode() & 0xff));
        data.append(char(c.unicode() >> 8));
    }
    data.append('\0');
    data.append('\0');
    return data;
}

// True when data is a UTF-16LE string whose last character is its terminating NUL, the only
// strings Wine writes in quoted form.
bool isTerminatedString(const QByteArray& data) {
    return data.size() >= 2 && data.size() % 2 == 0 && data.at(data.size() - 1) == 0 &&
           data.at(data.size() - 2) == 0;
}

QString stringWithoutTerminator(const QByteArray& data) {
    QString text;
    for (qsizetype i = 0; i + 1 < data.size() - 2; i += 2) {
        text.append(QChar(char16_t(quint8(data.at(i)) | (quint8(data.at(i + 1)) << 8))));
    }
    return text;
}

bool parseHexBytes(const QString& text, QByteArray* out) {
    const QStringList parts = text.split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const QString& part : parts) {
        bool ok = false;
        const uint byte = part.trimmed().toUInt(&ok, 16);
        if (!ok || byte > 0xff) {
            return false;
        }
        out->append(char(byte));
    }
    return true;
}

}  // namespace

QString RegistryValue::text() const {
    QString result;
    for (qsizetype i = 0; i + 1 < data.size(); i += 2) {
        const char16_t unit = char16_t(quint8(data.at(i)) | (quint8(data.at(i + 1)) << 8));
        if (unit == 0) {
            break;
        }
        result.append(QChar(unit));
    }
    return result;
}

std::optional<quint32> RegistryValue::dword() const {
    if (type != RegDword || data.size() != 4) {
        return std::nullopt;
    }
    return qFromLittleEndian<quint32>(data.constData());
}

RegistryValue RegistryValue::fromString(QString name, const QString& text, quint32 type) {
    return {std::move(name), type, utf16Data(text)};
}

RegistryValue RegistryValue::fromDword(QString name, quint32 number) {
    QByteArray data(4, '\0');
    qToLittleEndian(number, data.data());
    return {std::move(name), RegDword, data};
}

QString RegistryFile::escape(const QString& text, QChar quote, QChar otherQuote) {
    // Wine's own table: the controls that have a letter escape.
    static const char kLetters[33] = ".......abtnvfr.............e....";
    QString out;
    out.reserve(text.size() + 8);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (c > 127 || c < 32) {
            if (c < 32 && kLetters[c] != '.') {
                out += QLatin1Char('\\');
                out += QLatin1Char(kLetters[c]);
            } else if (i + 1 < text.size() && isHexDigit(text.at(i + 1))) {
                out += QStringLiteral("\\x%1").arg(uint(c), 4, 16, QLatin1Char('0'));
            } else {
                out += QStringLiteral("\\x%1").arg(uint(c), 0, 16);
            }
        } else if (c == u'\\' || c == quote.unicode() || c == otherQuote.unicode()) {
            out += QLatin1Char('\\');
            out += QChar(c);
        } else {
            out += QChar(c);
        }
    }
    return out;
}

QString RegistryFile::unescape(const QString& line, qsizetype at, QChar quote, qsizetype* end) {
    QString out;
    qsizetype i = at;
    while (i < line.size()) {
        const QChar c = line.at(i);
        if (c == quote) {
            *end = i + 1;
            return out;
        }
        if (c != QLatin1Char('\\') || i + 1 >= line.size()) {
            out += c;
            ++i;
            continue;
        }
        const QChar e = line.at(++i);
        ++i;
        switch (e.unicode()) {
            case 'a':
                out += QChar(0x07);
                break;
            case 'b':
                out += QChar(0x08);
                break;
            case 'e':
                out += QChar(0x1b);
                break;
            case 'f':
                out += QChar(0x0c);
                break;
            case 'n':
                out += QChar(0x0a);
                break;
            case 'r':
                out += QChar(0x0d);
                break;
            case 't':
                out += QChar(0x09);
                break;
            case 'v':
                out += QChar(0x0b);
                break;
            case 'x': {
                uint value = 0;
                int digits = 0;
                while (digits < 4 && i < line.size() && isHexDigit(line.at(i))) {
                    value = value * 16 + uint(QString(line.at(i)).toUInt(nullptr, 16));
                    ++i;
                    ++digits;
                }
                out += digits > 0 ? QChar(char16_t(value)) : QLatin1Char('x');
                break;
            }
            case '0':
            case '1':
            case '2':
            case '3':
            case '4':
            case '5':
            case '6':
            case '7': {
                uint value = e.unicode() - '0';
                for (int digits = 1;
                     digits < 3 && i < line.size() && line.at(i) >= QLatin1Char('0') &&
                     line.at(i) <= QLatin1Char('7');
                     ++digits, ++i) {
                    value = value * 8 + (line.at(i).unicode() - '0');
                }
                out += QChar(char16_t(value));
                break;
            }
            default:
                out += e;
                break;
        }
    }
    *end = -1;
    return out;
}

QString RegistryFile::normalizeKey(const QString& key) {
    return key.split(QLatin1Char('\\'), Qt::SkipEmptyParts).join(QLatin1Char('\\'));
}

RegistryFile RegistryFile::fromText(const QString& text) {
    RegistryFile file;
    file.m_lines = text.split(QLatin1Char('\n'));
    if (!file.m_lines.isEmpty() && file.m_lines.last().isEmpty()) {
        file.m_lines.removeLast();
    }
    for (QString& line : file.m_lines) {
        if (line.endsWith(QLatin1Char('\r'))) {
            line.chop(1);
        }
    }
    file.reindex();
    return file;
}

QString RegistryFile::toText() const {
    QString text;
    for (const QString& line : m_lines) {
        text += line;
        text += QLatin1Char('\n');
    }
    return text;
}

void RegistryFile::reindex() {
    m_keys.clear();
    m_index.clear();
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        const QString& line = m_lines.at(i);
        if (!line.startsWith(QLatin1Char('['))) {
            continue;
        }
        if (!m_keys.isEmpty()) {
            m_keys.last().end = i;
        }
        qsizetype end = -1;
        const QString name = normalizeKey(unescape(line, 1, QLatin1Char(']'), &end));
        m_keys.append({name, i, m_lines.size()});
    }
    // Wine keeps each key once; should a file hold one twice, the first counts.
    for (qsizetype k = m_keys.size() - 1; k >= 0; --k) {
        m_index.insert(fold(m_keys.at(k).name), k);
    }
}

const RegistryFile::KeySection* RegistryFile::findKey(const QString& key) const {
    const auto it = m_index.constFind(fold(normalizeKey(key)));
    return it == m_index.constEnd() ? nullptr : &m_keys.at(*it);
}

bool RegistryFile::hasKey(const QString& key) const {
    if (findKey(key) != nullptr) {
        return true;
    }
    // Wine leaves out keys that hold nothing but subkeys; such a key exists all the same.
    const QString prefix = fold(normalizeKey(key)) + QLatin1Char('\\');
    for (const KeySection& section : m_keys) {
        if (fold(section.name).startsWith(prefix)) {
            return true;
        }
    }
    return false;
}

QStringList RegistryFile::subkeys(const QString& key) const {
    const QString normalized = normalizeKey(key);
    const QString prefix = normalized.isEmpty() ? QString() : fold(normalized) + QLatin1Char('\\');
    QStringList names;
    QStringList folded;
    for (const KeySection& section : m_keys) {
        if (!fold(section.name).startsWith(prefix) || section.name.size() <= prefix.size()) {
            continue;
        }
        const QString child = section.name.mid(prefix.size()).section(QLatin1Char('\\'), 0, 0);
        if (!folded.contains(fold(child))) {
            folded.append(fold(child));
            names.append(child);
        }
    }
    return names;
}

RegistryFile::ParsedValue RegistryFile::parseValue(qsizetype lineNo) const {
    ParsedValue parsed;
    parsed.end = lineNo + 1;
    const QString& line = m_lines.at(lineNo);
    qsizetype at = 0;
    if (line.startsWith(QLatin1Char('@'))) {
        at = 1;
    } else if (line.startsWith(QLatin1Char('"'))) {
        parsed.value.name = unescape(line, 1, QLatin1Char('"'), &at);
        if (at < 0) {
            return parsed;
        }
    } else {
        return parsed;
    }
    if (at >= line.size() || line.at(at) != QLatin1Char('=')) {
        return parsed;
    }
    QString data = line.mid(at + 1);

    auto stringData = [&](qsizetype from, quint32 type) {
        qsizetype end = -1;
        const QString text = unescape(data, from, QLatin1Char('"'), &end);
        if (end < 0) {
            return;
        }
        parsed.value.type = type;
        parsed.value.data = utf16Data(text);
        parsed.valid = true;
    };

    if (data.startsWith(QLatin1Char('"'))) {
        stringData(1, RegSz);
    } else if (data.startsWith(QLatin1String("str("))) {
        const qsizetype close = data.indexOf(QLatin1String("):\""));
        bool ok = false;
        const uint type = data.mid(4, close - 4).toUInt(&ok, 16);
        if (close > 4 && ok) {
            stringData(close + 3, type);
        }
    } else if (data.startsWith(QLatin1String("dword:"))) {
        bool ok = false;
        const uint number = data.mid(6).trimmed().toUInt(&ok, 16);
        if (ok) {
            parsed.value.type = RegDword;
            parsed.value.data = RegistryValue::fromDword(QString(), number).data;
            parsed.valid = true;
        }
    } else if (data.startsWith(QLatin1String("hex"))) {
        // Long data continues on the next lines after a trailing backslash.
        while (data.endsWith(QLatin1Char('\\')) && parsed.end < m_lines.size()) {
            data.chop(1);
            data += m_lines.at(parsed.end).trimmed();
            ++parsed.end;
        }
        quint32 type = RegBinary;
        qsizetype colon = 3;
        if (data.startsWith(QLatin1String("hex("))) {
            const qsizetype close = data.indexOf(QLatin1String("):"));
            bool ok = false;
            type = data.mid(4, close - 4).toUInt(&ok, 16);
            if (close <= 4 || !ok) {
                return parsed;
            }
            colon = close + 1;
        }
        if (colon >= data.size() || data.at(colon) != QLatin1Char(':')) {
            return parsed;
        }
        QByteArray bytes;
        if (parseHexBytes(data.mid(colon + 1), &bytes)) {
            parsed.value.type = type;
            parsed.value.data = bytes;
            parsed.valid = true;
        }
    }
    return parsed;
}

std::optional<RegistryValue> RegistryFile::value(const QString& key, const QString& name) const {
    const KeySection* section = findKey(key);
    if (section == nullptr) {
        return std::nullopt;
    }
    for (qsizetype i = section->header + 1; i < section->end;) {
        const ParsedValue parsed = parseValue(i);
        if (parsed.valid && parsed.value.name.compare(name, Qt::CaseInsensitive) == 0) {
            return parsed.value;
        }
        i = parsed.end;
    }
    return std::nullopt;
}

QStringList RegistryFile::formatValue(const RegistryValue& value) {
    QString line = value.name.isEmpty()
                       ? QStringLiteral("@=")
                       : QLatin1Char('"') + escape(value.name, QLatin1Char('"'), QLatin1Char('"')) +
                             QStringLiteral("\"=");
    const bool stringType =
        value.type == RegSz || value.type == RegExpandSz || value.type == RegMultiSz;
    if (stringType && isTerminatedString(value.data)) {
        if (value.type != RegSz) {
            line += QStringLiteral("str(%1):").arg(value.type, 0, 16);
        }
        line += QLatin1Char('"') +
                escape(stringWithoutTerminator(value.data), QLatin1Char('"'), QLatin1Char('"')) +
                QLatin1Char('"');
        return {line};
    }
    if (value.type == RegDword && value.data.size() == 4) {
        line += QStringLiteral("dword:%1").arg(*value.dword(), 8, 16, QLatin1Char('0'));
        return {line};
    }
    // Wine's layout of binary data: lines broken after a comma once they pass 76 characters.
    QStringList lines;
    line += value.type == RegBinary ? QStringLiteral("hex:")
                                    : QStringLiteral("hex(%1):").arg(value.type, 0, 16);
    for (qsizetype i = 0; i < value.data.size(); ++i) {
        line += QStringLiteral("%1").arg(uint(quint8(value.data.at(i))), 2, 16, QLatin1Char('0'));
        if (i + 1 < value.data.size()) {
            line += QLatin1Char(',');
            if (line.size() + 1 > 76) {
                lines.append(line + QLatin1Char('\\'));
                line = QStringLiteral("  ");
            }
        }
    }
    lines.append(line);
    return lines;
}

void RegistryFile::setValue(const QString& key, const RegistryValue& value, qint64 modifiedSecs) {
    const QStringList formatted = formatValue(value);
    const KeySection* section = findKey(key);
    if (section == nullptr) {
        if (!m_lines.isEmpty() && !m_lines.last().trimmed().isEmpty()) {
            m_lines.append(QString());
        }
        m_lines.append(QLatin1Char('[') +
                       escape(normalizeKey(key), QLatin1Char('['), QLatin1Char(']')) +
                       QStringLiteral("] %1").arg(modifiedSecs));
        m_lines.append(formatted);
        reindex();
        return;
    }
    qsizetype insertAt = section->header + 1;
    for (qsizetype i = section->header + 1; i < section->end;) {
        const ParsedValue parsed = parseValue(i);
        if (parsed.valid && parsed.value.name.compare(value.name, Qt::CaseInsensitive) == 0) {
            m_lines.remove(i, parsed.end - i);
            for (qsizetype k = 0; k < formatted.size(); ++k) {
                m_lines.insert(i + k, formatted.at(k));
            }
            reindex();
            return;
        }
        if (!m_lines.at(i).trimmed().isEmpty()) {
            insertAt = parsed.end;
        }
        i = parsed.end;
    }
    for (qsizetype k = 0; k < formatted.size(); ++k) {
        m_lines.insert(insertAt + k, formatted.at(k));
    }
    reindex();
}

}  // namespace torv::platform
