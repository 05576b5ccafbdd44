#include "app/ConsoleLog.h"

#include "common/LogLine.h"
#include "common/PumpMessages.h"

namespace torv {

void WriteConsoleLine(const QString& cleanLine, std::FILE* out) {
    const QByteArray text = cleanLine.toUtf8();
    std::fwrite(text.constData(), 1, std::size_t(text.size()), out);
    std::fputc('\n', out);
    std::fflush(out);
}

void ConsoleLog::log(const QString& line) {
    WriteConsoleLine(CleanLogLine(line), m_out);
    PumpMessages();
}

void ConsoleLog::replaceLastLine(const QString& line) {
    log(line);
}

}  // namespace torv
