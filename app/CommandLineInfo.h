// What `torv --help` and `torv --version` print. They are answered before the application object
// exists, so neither reads the settings, opens a window or reaches the network.
#pragma once

#include <optional>

#include <QString>

namespace torv {

// The text to print when the whole command line is one of --help, -h (the usage: the about box's
// text, where the settings file lives, the exit statuses) or --version ("Torvane 0.4 Beta");
// nothing otherwise, because those words anywhere after the program name belong to the game.
std::optional<QString> CommandLineInfo(int argc, const char* const* argv);

// Writes text to standard output; the exit status for the process: 0, or 1 when the text could
// not be written whole (a closed pipe, a full disk).
int PrintCommandLineInfo(const QString& text);

}  // namespace torv
