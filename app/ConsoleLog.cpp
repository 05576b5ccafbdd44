#include "app/ConsoleLog.h"

#include "common/LogLine.h"
#include "common/PumpMessages.h"

namespace torv {

void WriteConsoleLine(const QString& cleanLine, std::FILE* out) {
    const QByteArray text = cleanLine.toUtf8();
    std::fwrite(text.constData(), 1, std::size_t(text.size()), out);
    std::fputc('\n', out);
    // Nobody may be reading any more (a closed pipe): the run goes on without its mirror.
    if (std::fflush(out) != 0 || std::ferror(out) != 0) {
        std::clearerr(out);
    }
}

void ConsoleLog::Log(const QString& line) {
    WriteConsoleLine(CleanLogLine(line), m_out);
    PumpMessages();
}

void ConsoleLog::ReplaceLastLine(const QString& line) {
    Log(line);
}

}  // namespace torv
