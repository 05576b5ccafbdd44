// Starting the game: from its own folder, either waiting for it or in place of this process.
//
// The argument vector is given whole, element 0 first; the program receives element 0 as its
// argv[0]. A program that is a Windows executable (it begins with "MZ") runs as
// "wine <program> <arguments 1..>" when wine is on the PATH; anything else runs directly.
#pragma once

#include <QString>
#include <QStringList>

namespace torv::platform {

struct ProcessResult {
    bool started = false;
    // The program's exit status; 128 + the signal number when a signal ended it.
    int exitStatus = -1;
    // Why the program could not be started; empty when it was.
    QString error;
};

// Runs program from folder and waits until it ends. The caller's own working folder stays.
ProcessResult startAndWait(const QString& folder, const QString& program,
                           const QStringList& arguments);

// Starts program from folder and returns as soon as it runs, without waiting for it and without
// leaving it as a child of this process. The reason when it could not be started, else empty.
QString startDetached(const QString& folder, const QString& program, const QStringList& arguments);

// Changes to folder and replaces this process with program. Returns only when that failed, with
// the reason; the working folder is then the caller's again.
QString startReplacing(const QString& folder, const QString& program, const QStringList& arguments);

}  // namespace torv::platform
