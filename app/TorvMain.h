// One run of the tool, once the application object exists: the main window where a display is,
// the flow on standard output where none is. Returns the process's exit status.
#pragma once

#include <QString>

namespace torv {

class CTokenList;

// appName names the profile (the executable's base name, "torv").
int RunTorv(const CTokenList& args, const QString& appName, bool withWindow);

// The executable's base name from argv[0]: "/usr/bin/torv" and "TORV.EXE" give "torv", "TORV".
QString ApplicationNameFrom(const char* argv0);

}  // namespace torv
