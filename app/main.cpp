// torv: fetches a Descent 3 mission and starts the game; without arguments, configuration mode.
#include <QApplication>
#include <QCoreApplication>

#include <csignal>

#include "app/CommandLineInfo.h"
#include "app/TorvMain.h"
#include "common/TokenList.h"
#include "platform/Display.h"
#include "platform/InterruptCleanup.h"

int main(int argc, char** argv) {
    // Before anything is fetched, so no interrupt can leave a partial file behind.
    torv::platform::InstallInterruptCleanup();
    // A reader of standard output that goes away (torv ... | head -1) must not end the fetch.
    std::signal(SIGPIPE, SIG_IGN);
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
