#include "platform/Profile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <filesystem>
#include <system_error>

namespace torv::platform {

namespace {

const QString kSettingsFolder = QStringLiteral("Quillfen");
// Real profiles hold a few hundred bytes.
constexpr qint64 kMaxFileBytes = 1024 * 1024;

QString hexEscape(QChar c) {
    if (c.unicode() > 0xff) {
        return QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
    }
    return QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
}

int hexDigit(QChar c) {
    if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) {
        return c.unicode() - '0';
    }
    if (c >= QLatin1Char('a') && c <= QLatin1Char('f')) {
        return c.unicode() - 'a' + 10;
    }
    if (c >= QLatin1Char('A') && c <= QLatin1Char('F')) {
        return c.unicode() - 'A' + 10;
    }
    return -1;
}

// The value of count hex digits of text from position at, or -1.
int hexNumber(const QString& text, qsizetype at, int count) {
    if (at + count > text.size()) {
        return -1;
    }
    int value = 0;
    for (int i = 0; i < count; ++i) {
        const int digit = hexDigit(text.at(at + i));
        if (digit < 0) {
            return -1;
        }
        value = value * 16 + digit;
    }
    return value;
}

bool isComment(const QString& trimmed) {
    return trimmed.startsWith(QLatin1Char(';')) || trimmed.startsWith(QLatin1Char('#'));
}

// The section name of a header line, or a null string when the line is no header.
QString headerName(const QString& line) {
    const QString trimmed = line.trimmed();
    if (!trimmed.startsWith(QLatin1Char('[')) || !trimmed.endsWith(QLatin1Char(']')) ||
        trimmed.size() < 2) {
        return QString();
    }
    QString name = Profile::unescape(trimmed.mid(1, trimmed.size() - 2).trimmed());
    if (name.isNull()) {
        name = QLatin1String("");
    }
    return name;
}

struct EntryLine {
    bool valid = false;
    QString name;
    QString value;
};

EntryLine parseEntry(const QString& line) {
    const QString trimmed = line.trimmed();
    if (trimmed.isEmpty() || isComment(trimmed) || trimmed.startsWith(QLatin1Char('['))) {
        return {};
    }
    const qsizetype eq = trimmed.indexOf(QLatin1Char('='));
    if (eq < 0) {
        return {};
    }
    return {true, Profile::unescape(trimmed.left(eq).trimmed()),
            Profile::unescape(trimmed.mid(eq + 1).trimmed())};
}

QString systemText(int error) {
    return QString::fromStdString(std::generic_category().message(error));
}

bool sameName(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Line range [begin, end) of the body of the first section called name; begin is -1 when absent.
struct SectionRange {
    qsizetype header = -1;
    qsizetype begin = -1;
    qsizetype end = -1;
};

SectionRange findSection(const QStringList& lines, const QString& section) {
    SectionRange range;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString name = headerName(lines.at(i));
        if (name.isNull()) {
            continue;
        }
        if (range.begin >= 0) {
            range.end = i;
            return range;
        }
        if (sameName(name, section)) {
            range.header = i;
            range.begin = i + 1;
        }
    }
    if (range.begin >= 0) {
        range.end = lines.size();
    }
    return range;
}

// Sets the entry in the first section of that name, adding the section at the end when absent.
void setEntry(QStringList& lines, const QString& section, const QString& entry,
              const QString& value) {
    const QString line =
        Profile::escape(entry, true) + QLatin1Char('=') + Profile::escape(value, false);
    const SectionRange range = findSection(lines, section);
    if (range.begin < 0) {
        if (!lines.isEmpty() && !lines.last().trimmed().isEmpty()) {
            lines.append(QString());
        }
        lines.append(QLatin1Char('[') + Profile::escape(section, true) + QLatin1Char(']'));
        lines.append(line);
        return;
    }
    qsizetype lastContent = range.header;
    for (qsizetype i = range.begin; i < range.end; ++i) {
        const EntryLine parsed = parseEntry(lines.at(i));
        if (parsed.valid && sameName(parsed.name, entry)) {
            lines[i] = line;
            return;
        }
        if (!lines.at(i).trimmed().isEmpty()) {
            lastContent = i;
        }
    }
    // New entries go after the section's last line, before the blank lines that separate it.
    lines.insert(lastContent + 1, line);
}

// Removes every section of that name with all its lines; true when there was one.
bool dropSection(QStringList& lines, const QString& section) {
    bool removed = false;
    for (SectionRange range = findSection(lines, section); range.header >= 0;
         range = findSection(lines, section)) {
        lines.erase(lines.begin() + range.header, lines.begin() + range.end);
        removed = true;
    }
    return removed;
}

void setError(QString* error, const QString& reason) {
    if (error != nullptr) {
        *error = reason;
    }
}

}  // namespace

Profile::Profile(QString filePath) : m_filePath(std::move(filePath)) {}

QString Profile::defaultPath(const QString& appName) {
    QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (configHome.isEmpty() || !QDir::isAbsolutePath(configHome)) {
        configHome = QDir::homePath() + QStringLiteral("/.config");
    }
    return configHome + QLatin1Char('/') + kSettingsFolder + QLatin1Char('/') + appName +
           QStringLiteral(".ini");
}

QString Profile::escape(const QString& text, bool isName) {
    QString out;
    out.reserve(text.size() + 8);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const bool atEdge = i == 0 || i == text.size() - 1;
        if (c == QLatin1Char('\\')) {
            out += QStringLiteral("\\\\");
        } else if (c == QLatin1Char('\n')) {
            out += QStringLiteral("\\n");
        } else if (c == QLatin1Char('\r')) {
            out += QStringLiteral("\\r");
        } else if (c == QLatin1Char('\t') && !atEdge) {
            out += QStringLiteral("\\t");
        } else if (c.unicode() < 0x20 || c.unicode() == 0x7f || (atEdge && c.isSpace())) {
            out += hexEscape(c);
        } else if (isName && (c == QLatin1Char('=') || c == QLatin1Char(']') ||
                              (i == 0 && (c == QLatin1Char('[') || c == QLatin1Char(';') ||
                                          c == QLatin1Char('#'))))) {
            out += hexEscape(c);
        } else {
            out += c;
        }
    }
    return out;
}

QString Profile::unescape(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c != QLatin1Char('\\') || i + 1 >= text.size()) {
            out += c;
            continue;
        }
        const QChar next = text.at(i + 1);
        if (next == QLatin1Char('\\')) {
            out += QLatin1Char('\\');
            ++i;
        } else if (next == QLatin1Char('n')) {
            out += QLatin1Char('\n');
            ++i;
        } else if (next == QLatin1Char('r')) {
            out += QLatin1Char('\r');
            ++i;
        } else if (next == QLatin1Char('t')) {
            out += QLatin1Char('\t');
            ++i;
        } else if (next == QLatin1Char('x') && hexNumber(text, i + 2, 2) >= 0) {
            out += QChar(hexNumber(text, i + 2, 2));
            i += 3;
        } else if (next == QLatin1Char('u') && hexNumber(text, i + 2, 4) >= 0) {
            out += QChar(hexNumber(text, i + 2, 4));
            i += 5;
        } else {
            // A backslash that starts no escape is kept, so hand-written Windows paths survive.
            out += c;
        }
    }
    return out;
}

bool Profile::readFile(QByteArray& bytes) const {
    QString problem;
    const QByteArray native = QFile::encodeName(m_filePath);
    // Non-blocking, so a FIFO cannot hold the open; what the file is decides the rest.
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    struct stat st {};
    // Nothing there (a file where a folder of the path belongs included): defaults, and a save
    // says why it cannot write.
    if (fd < 0 && (errno == ENOENT || errno == ENOTDIR)) {
        return true;
    }
    if (fd < 0) {
        problem = "cannot be read (" + systemText(errno) + ")";
    } else if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        problem = QStringLiteral("is not a regular file");
    } else if (st.st_size > kMaxFileBytes) {
        problem = QStringLiteral("is larger than 1 MiB");
    } else {
        // Read to its end rather than to the size fstat saw, which may have changed since.
        char chunk[16 * 1024];
        while (problem.isEmpty()) {
            const ssize_t n = ::read(fd, chunk, sizeof chunk);
            if (n == 0) {
                break;
            }
            if (n < 0 && errno != EINTR) {
                problem = "cannot be read (" + systemText(errno) + ")";
            } else if (n > 0) {
                bytes.append(chunk, n);
                if (bytes.size() > kMaxFileBytes) {
                    problem = QStringLiteral("is larger than 1 MiB");
                }
            }
        }
    }
    if (fd >= 0) {
        ::close(fd);
    }
    if (problem.isEmpty()) {
        return true;
    }
    bytes.clear();
    if (!m_reported && m_reporter) {
        m_reported = true;
        m_reporter("ERROR: Settings file [" + m_filePath + "] " + problem +
                   "; running with default settings, and the file is left as it is.");
    }
    return false;
}

QStringList Profile::readLines() const {
    QByteArray bytes;
    if (!readFile(bytes)) {
        return {};
    }
    QString text = QString::fromUtf8(bytes);
    if (text.startsWith(QChar(0xfeff))) {
        text.remove(0, 1);
    }
    QStringList lines = text.split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty()) {
        lines.removeLast();
    }
    for (QString& line : lines) {
        if (line.endsWith(QLatin1Char('\r'))) {
            line.chop(1);
        }
    }
    return lines;
}

bool Profile::writeLines(const QStringList& lines, QString* error) const {
    // A settings file that may not be read (a pipe, a device, a huge file) is never replaced.
    if (QByteArray ignored; !readFile(ignored)) {
        setError(error, QStringLiteral("it is not a readable regular file of at most 1 MiB"));
        return false;
    }
    const QFileInfo info(m_filePath);
    // The standard library says why a folder could not be made; QDir only that it could not.
    std::error_code made;
    std::filesystem::create_directories(QFile::encodeName(info.absolutePath()).toStdString(), made);
    if (made) {
        setError(error, QString::fromStdString(made.message()));
        return false;
    }
    QSaveFile file(m_filePath);
    if (!file.open(QIODevice::WriteOnly)) {
        setError(error, file.errorString());
        return false;
    }
    QByteArray data;
    for (const QString& line : lines) {
        data += line.toUtf8();
        data += '\n';
    }
    // A full disk shows only when the buffer reaches the file, and commit() would then put the
    // short file in place of the old one.
    if (file.write(data) != data.size() || !file.flush()) {
        setError(error, file.errorString());
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        setError(error, file.errorString());
        return false;
    }
    return true;
}

QString Profile::getString(const QString& section, const QString& entry,
                           const QString& defaultValue) const {
    const QStringList lines = readLines();
    const SectionRange range = findSection(lines, section);
    for (qsizetype i = range.begin; i >= 0 && i < range.end; ++i) {
        const EntryLine parsed = parseEntry(lines.at(i));
        if (parsed.valid && sameName(parsed.name, entry)) {
            return parsed.value;
        }
    }
    return defaultValue;
}

int Profile::getInt(const QString& section, const QString& entry, int defaultValue) const {
    const QString text = getString(section, entry);
    bool ok = false;
    const int value = text.trimmed().toInt(&ok, 10);
    return ok ? value : defaultValue;
}

QList<QPair<QString, QString>> Profile::values(const QString& section) const {
    QList<QPair<QString, QString>> result;
    const QStringList lines = readLines();
    const SectionRange range = findSection(lines, section);
    for (qsizetype i = range.begin; i >= 0 && i < range.end; ++i) {
        const EntryLine parsed = parseEntry(lines.at(i));
        if (parsed.valid) {
            result.append({parsed.name, parsed.value});
        }
    }
    return result;
}

void Profile::Batch::writeString(const QString& section, const QString& entry,
                                 const QString& value) {
    // A null entry marks a removal, so an empty name is stored as an empty one.
    m_changes.append({section, entry.isNull() ? QLatin1String("") : entry, value});
}

void Profile::Batch::writeInt(const QString& section, const QString& entry, int value) {
    writeString(section, entry, QString::number(value));
}

void Profile::Batch::removeSection(const QString& section) {
    m_changes.append({section, QString(), QString()});
}

bool Profile::write(const Batch& batch, QString* error) {
    QStringList lines = readLines();
    for (const Batch::Change& change : batch.m_changes) {
        if (change.entry.isNull()) {
            dropSection(lines, change.section);
        } else {
            setEntry(lines, change.section, change.entry, change.value);
        }
    }
    return writeLines(lines, error);
}

bool Profile::writeString(const QString& section, const QString& entry, const QString& value) {
    QStringList lines = readLines();
    setEntry(lines, section, entry, value);
    return writeLines(lines);
}

}  // namespace torv::platform
