// torv: fetches a Descent 3 mission and starts the game; without arguments, configuration mode.
#include <QApplication>
#include <QCoreApplication>

#include "app/CommandLineInfo.h"
#include "app/TorvMain.h"
#include "common/TokenList.h"
#include "platform/Display.h"

int main(int argc, char** argv) {
    // Answered before the application object exists: no settings, network or window.
    if (const std::optional<QString> info = torv::CommandLineInfo(argc, argv)) {
        return torv::PrintCommandLineInfo(*info);
    }
    torv::CTokenList args;
    args.Fill(argc, argv);
    const QString appName = torv::ApplicationNameFrom(argc > 0 ? argv[0] : nullptr);

    if (!torv::platform::hasDisplay()) {
        QCoreApplication app(argc, argv);
        return torv::RunTorv(args, appName, false);
    }
    QApplication app(argc, argv);
    return torv::RunTorv(args, appName, true);
}
