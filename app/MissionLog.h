// Where the steps of a command-line run report: the main window's log list, standard output,
// or a test's recorder. Every line also pumps the user-interface events.
#pragma once

#include <QString>

namespace torv {

class MissionLog {
public:
    virtual ~MissionLog() = default;
    // Appends one line (control characters are replaced by the sink's line rules).
    virtual void log(const QString& line) = 0;
    // Removes the last line, whatever it is, then appends this one.
    virtual void replaceLastLine(const QString& line) = 0;
};

}  // namespace torv
