#include "app/CommandLineInfo.h"

#include <cstdio>
#include <string_view>

#include <QStringList>

#include "app/TorvMain.h"
#include "platform/Profile.h"
#include "res/DialogTemplates.h"
#include "res/Strings.h"
#include "res/Version.h"

namespace torv {
namespace {

// The about box's texts in reading order, laid out as the box shows them: texts on one row
// joined, the usage in its frame set apart and indented under its first line. Taking them from
// the template keeps --help and the about box saying the same.
QStringList AboutBoxLines() {
    QStringList lines;
    const res::DialogTemplate* about = res::Dialog(res::IDD_ABOUTBOX);
    if (!about) {
        return lines;
    }
    const res::ControlTemplate* frame = nullptr;
    for (const res::ControlTemplate& control : about->controls) {
        if (control.kind == res::ControlKind::GroupBox) {
            frame = &control;
        }
    }
    int lastRow = -1;
    bool inFrame = false;
    for (const res::ControlTemplate& control : about->controls) {
        if (control.kind != res::ControlKind::Static) {
            continue;
        }
        QString text = control.id == res::IDC_VERSION
                           ? QStringLiteral("v") + res::String(res::IDS_VERSION)
                           : QString::fromLatin1(control.text);
        if (text.isEmpty()) {
            continue;
        }
        if (control.y == lastRow && !lines.isEmpty()) {
            lines.last() += QLatin1Char(' ') + text;
            continue;
        }
        const bool framed = frame && control.y >= frame->y && control.y < frame->y + frame->height;
        if (framed && !inFrame) {
            lines << QString();
        } else if (framed) {
            text.prepend(QStringLiteral("  "));
        }
        inFrame = framed;
        lastRow = control.y;
        lines << text;
    }
    return lines;
}

QString UsageText(const QString& settingsPath) {
    static constexpr char kAfterAboutBox[] = R"(  -h, --help: Show this text and exit.
  --version: Show the version and exit.

Settings: %1
  (saved by the configuration dialog's OK; a game folder that had to be
  looked for is stored at once)

Exit status:
  0  the mission is in place (and the game started, if -rund3 asked for it);
     the configuration dialog was closed; --help or --version
  1  anything else: no game folder, the mission was not found, a wrong command
     line, the game did not start, configuration mode without a display
  128+N  stopped by signal N (SIGINT, SIGTERM, SIGHUP); unfinished files removed
  Without Keep Alive the game takes torv's place; the status is then the game's.
)";
    return AboutBoxLines().join(QLatin1Char('\n')) + QLatin1Char('\n') +
           QString::fromUtf8(kAfterAboutBox).arg(settingsPath);
}

QString VersionText() {
    return QString::fromLatin1(res::kProductName) + QLatin1Char(' ') +
           res::String(res::IDS_VERSION);
}

}  // namespace

std::optional<QString> CommandLineInfo(int argc, const char* const* argv) {
    if (argc != 2 || !argv || !argv[1]) {
        return std::nullopt;
    }
    const std::string_view argument = argv[1];
    if (argument == "--version") {
        return VersionText() + QLatin1Char('\n');
    }
    if (argument == "--help" || argument == "-h") {
        return UsageText(platform::Profile::defaultPath(ApplicationNameFrom(argv[0])));
    }
    return std::nullopt;
}

int PrintCommandLineInfo(const QString& text) {
    const QByteArray bytes = text.toLocal8Bit();
    const bool written = std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stdout) ==
                         std::size_t(bytes.size());
    return written && std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace torv
