#include "common/LogLine.h"

namespace torv {

QString CleanLogLine(const QString& line) {
    QString clean;
    clean.reserve(line.size());
    for (QChar c : line) {
        if (c.category() != QChar::Other_Control) {
            clean.append(c);
        }
    }
    // Printable non-ASCII text (a user's name in a path) stays as it is.
    clean.append(QString(line.size() - clean.size(), QLatin1Char(' ')));
    return clean;
}

}  // namespace torv
