// torv: fetches a Descent 3 mission and starts the game; without arguments, configuration mode.
#include <QApplication>
#include <QCoreApplication>

#include "app/TorvMain.h"
#include "common/TokenList.h"
#include "platform/Display.h"
#include "platform/InterruptCleanup.h"

int main(int argc, char** argv) {
    // Before anything is fetched, so no interrupt can leave a partial file behind.
    torv::platform::InstallInterruptCleanup();
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
