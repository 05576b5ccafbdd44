// The rule every log line passes before it is shown: control characters are taken out and the
// line keeps its length, one blank at the end for each character removed.
#pragma once

#include <QString>

namespace torv {

QString CleanLogLine(const QString& line);

}  // namespace torv
