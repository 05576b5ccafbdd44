// Stand-ins that record what the code under test did: a mission log that keeps the lines it shows,
// and a game starter that records each start instead of starting anything.
#pragma once

#include <QString>
#include <QStringList>

#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "app/GameStarter.h"
#include "app/MissionLog.h"

namespace torv::test {

class RecordingLog : public MissionLog {
public:
    void Log(const QString& line) override { lines.push_back(line); }
    void ReplaceLastLine(const QString& line) override {
        if (!lines.isEmpty()) {
            lines.removeLast();
        }
        lines.push_back(line);
    }

    QStringList lines;  // what the log shows
};

class RecordingStarter : public GameStarter {
public:
    enum class How { Wait, Detached, Replace };
    struct Call {
        How how;
        QString folder;
        QString executable;
        QStringList arguments;
    };

    bool RunAndWait(const QString& folder, const QString& executable, const QStringList& arguments,
                    QString& error) override {
        return record({How::Wait, folder, executable, arguments}, error);
    }
    bool StartDetached(const QString& folder, const QString& executable,
                       const QStringList& arguments, QString& error) override {
        return record({How::Detached, folder, executable, arguments}, error);
    }
    bool ReplaceProcess(const QString& folder, const QString& executable,
                        const QStringList& arguments, QString& error) override {
        return record({How::Replace, folder, executable, arguments}, error);
    }

    std::vector<Call> calls;
    QString failWith;  // set: every start fails with this reason

private:
    bool record(Call call, QString& error) {
        calls.push_back(std::move(call));
        error = failWith;
        return failWith.isEmpty();
    }
};

// Names each case of a parameterised test after its row's name.
inline constexpr auto kByName = [](const auto& info) { return std::string(info.param.name); };

}  // namespace torv::test

// Readable failure messages for Qt texts.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}
