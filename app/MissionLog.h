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
    // Shows or hides that the run waits for something outside (the busy cursor of a window).
    virtual void setBusy(bool busy) { (void)busy; }
};

// The log is busy while this lives, or until end().
class BusyWhile {
public:
    explicit BusyWhile(MissionLog& log) : m_log(&log) { log.setBusy(true); }
    ~BusyWhile() { end(); }
    BusyWhile(const BusyWhile&) = delete;
    BusyWhile& operator=(const BusyWhile&) = delete;

    void end() {
        if (m_log != nullptr) {
            m_log->setBusy(false);
            m_log = nullptr;
        }
    }

private:
    MissionLog* m_log;
};

}  // namespace torv
