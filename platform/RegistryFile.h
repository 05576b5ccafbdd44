// One registry file of a Wine prefix (system.reg or user.reg) in Wine's own text format.
//
// The file is kept as its lines: lookups parse the one key asked for, and a change rewrites only
// the lines of the value it changes, so everything else (timestamps, #time, #class and #link
// lines, values of every type) stays exactly as Wine wrote it. Keys and value names compare
// without regard to case.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace torv::platform {

enum RegistryType : quint32 {
    RegNone = 0,
    RegSz = 1,
    RegExpandSz = 2,
    RegBinary = 3,
    RegDword = 4,
    RegMultiSz = 7,
};

struct RegistryValue {
    QString name;  // empty for the key's default value ("@")
    quint32 type = RegNone;
    QByteArray data;  // as Windows keeps it: strings in UTF-16LE with their terminating NUL

    bool isString() const { return type == RegSz || type == RegExpandSz; }
    // The data read as UTF-16LE up to its first NUL.
    QString text() const;
    std::optional<quint32> dword() const;

    static RegistryValue fromString(QString name, const QString& text, quint32 type = RegSz);
    static RegistryValue fromDword(QString name, quint32 number);
};

class RegistryFile {
public:
    RegistryFile() = default;
    static RegistryFile fromText(const QString& text);
    QString toText() const;

    // Keys are paths relative to the file's root with "\" between their parts.
    bool hasKey(const QString& key) const;
    // Names of the key's direct subkeys, in file order.
    QStringList subkeys(const QString& key) const;
    std::optional<RegistryValue> value(const QString& key, const QString& name) const;
    // Replaces the value of that name (whatever its type was) or adds it, creating the key.
    void setValue(const QString& key, const RegistryValue& value, qint64 modifiedSecs);

    // Wine's escaping of names and string data; quote is the character that ends the text.
    static QString escape(const QString& text, QChar quote, QChar otherQuote);
    // Reads escaped text from position at up to the unescaped quote; end is set past the quote,
    // or to -1 when the quote is missing.
    static QString unescape(const QString& line, qsizetype at, QChar quote, qsizetype* end);
    static QString normalizeKey(const QString& key);

private:
    struct KeySection {
        QString name;
        qsizetype header = 0;  // line of "[name]"
        qsizetype end = 0;     // first line after the key's body
    };
    struct ParsedValue {
        RegistryValue value;
        bool valid = false;
        qsizetype end = 0;  // first line after the value, continuation lines included
    };

    void reindex();
    const KeySection* findKey(const QString& key) const;
    ParsedValue parseValue(qsizetype line) const;
    static QStringList formatValue(const RegistryValue& value);

    QStringList m_lines;
    QList<KeySection> m_keys;
    QHash<QString, qsizetype> m_index;  // case-folded key name -> position in m_keys
};

}  // namespace torv::platform
