// Where the steps of a command-line run report: the main window's log list, standard output,
// or a test's recorder. Every line also pumps the user-interface events.
#pragma once

#include <QString>

namespace torv {

class MissionLog {
public:
    virtual ~MissionLog() = default;
    // Appends one line (control characters are replaced by the sink's line rules).
    virtual void Log(const QString& line) = 0;
    // Removes the last line, whatever it is, then appends this one.
    virtual void ReplaceLastLine(const QString& line) = 0;
    // Shows or hides that the run waits for something outside (the busy cursor of a window).
    virtual void SetBusy(bool busy) { (void)busy; }
};

// The log is busy while this lives, or until End().
class BusyWhile {
public:
    explicit BusyWhile(MissionLog& log) : m_log(&log) { log.SetBusy(true); }
    ~BusyWhile() { End(); }
    BusyWhile(const BusyWhile&) = delete;
    BusyWhile& operator=(const BusyWhile&) = delete;

    void End() {
        if (m_log != nullptr) {
            m_log->SetBusy(false);
            m_log = nullptr;
        }
    }

private:
    MissionLog* m_log;
};

}  // namespace torv
