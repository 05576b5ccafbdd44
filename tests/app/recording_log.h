// A mission log that keeps every line and every call, so tests can compare exact lines, their
// order, and which of them replaced the one before.
#pragma once

#include <QString>
#include <QStringList>

#include <ostream>

#include "app/MissionLog.h"

namespace torv::test {

class RecordingLog : public MissionLog {
public:
    void Log(const QString& line) override {
        lines.push_back(line);
        calls.push_back(line);
    }
    void ReplaceLastLine(const QString& line) override {
        if (!lines.isEmpty()) {
            lines.removeLast();
        }
        lines.push_back(line);
        calls.push_back("~" + line);
    }

    QStringList lines;  // what the log shows
    QStringList calls;  // every call in order; a replacement is marked with a leading "~"
};

}  // namespace torv::test

// Readable failure messages for Qt texts.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QStringList& list, std::ostream* os) {
    *os << "{\n";
    for (const QString& line : list) {
        *os << "  \"" << line.toStdString() << "\"\n";
    }
    *os << "}";
}
