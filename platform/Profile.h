// The per-user profile: an INI file of sections with named string and integer values.
//
// Sections and entries compare without regard to case. Entries enumerate in file order, comments
// and lines this class does not understand survive every save, and each write replaces the file
// atomically at once. The file is read again for every call, so several objects over one file
// always agree.
//
// Names and values are stored escaped so that every text reads back exactly: "\\" for a
// backslash, "\n", "\r" and "\t" for those controls, "\xHH" (or "\uHHHH" beyond U+00FF) for any
// other control character, for white space at either end and, in names, for "=", "]" and for a
// leading "[", ";" or "#". Any other text, non-ASCII included, is stored as it is, in UTF-8.
//
// Only a regular file of at most 1 MiB is read (a FIFO, a device or a huge file would hang or
// exhaust the process). Any other file reads as empty, so every value takes its default, and is
// never written over: it is the user's, and a save could only lose it.
#pragma once

#include <functional>

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

namespace torv::platform {

class Profile {
public:
    explicit Profile(QString filePath);

    // <config home>/Quillfen/<appName>.ini; the config home is $XDG_CONFIG_HOME when that is an
    // absolute path, else ~/.config.
    static QString defaultPath(const QString& appName);

    QString filePath() const { return m_filePath; }

    // Receives one ERROR line, the first time the file turns out to be unusable.
    void setProblemReporter(std::function<void(const QString&)> reporter) {
        m_reporter = std::move(reporter);
    }

    QString getString(const QString& section, const QString& entry,
                      const QString& defaultValue = QString()) const;
    // A value that is not a whole decimal number reads as the default.
    int getInt(const QString& section, const QString& entry, int defaultValue) const;
    // All entries of the section as (name, value), in file order.
    QList<QPair<QString, QString>> values(const QString& section) const;

    // Changes that reach the file together: applied in order over the file as it is, which is
    // then replaced once.
    class Batch {
    public:
        void writeString(const QString& section, const QString& entry, const QString& value);
        void writeInt(const QString& section, const QString& entry, int value);
        void removeSection(const QString& section);

    private:
        friend class Profile;
        struct Change {
            QString section;
            QString entry;  // null: remove the section
            QString value;
        };
        QList<Change> m_changes;
    };
    // False leaves the file as it was; error, when given, then says why in a few words.
    bool write(const Batch& batch, QString* error = nullptr);

    bool writeString(const QString& section, const QString& entry, const QString& value);

    static QString escape(const QString& text, bool isName);
    static QString unescape(const QString& text);

private:
    QStringList readLines() const;
    bool writeLines(const QStringList& lines, QString* error = nullptr) const;
    // The file's bytes; false with the ERROR line reported when the file must be left alone.
    bool readFile(QByteArray& bytes) const;

    QString m_filePath;
    std::function<void(const QString&)> m_reporter;
    mutable bool m_reported = false;
};

}  // namespace torv::platform
