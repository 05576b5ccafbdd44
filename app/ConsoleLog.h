// Writes log lines to standard output, flushed at once, so that front ends and scripts can follow
// a run; the window's log mirrors every line here as well.
#pragma once

#include <cstdio>

#include "app/MissionLog.h"

namespace torv {

// Writes one line, already cleaned, to standard output and flushes it.
void WriteConsoleLine(const QString& cleanLine, std::FILE* out = stdout);

class ConsoleLog : public MissionLog {
public:
    explicit ConsoleLog(std::FILE* out = stdout) : m_out(out) {}

    void Log(const QString& line) override;
    // Standard output cannot take a line back; the new line follows the old one.
    void ReplaceLastLine(const QString& line) override;

private:
    std::FILE* m_out;
};

}  // namespace torv
