// One run of the tool, once the application object exists: the main window where a display is,
// the flow on standard output where none is. Returns the process's exit status.
#pragma once

#include <QString>

namespace torv {

class CTokenList;

// appName names the profile (ApplicationNameFrom, "torv").
int RunTorv(const CTokenList& args, const QString& appName, bool withWindow);

// The executable's file name from argv[0], less a trailing ".exe" in any case: "/usr/bin/torv",
// "TORV.EXE" and "torv-0.4" give "torv", "TORV" and "torv-0.4".
QString ApplicationNameFrom(const char* argv0);

}  // namespace torv
