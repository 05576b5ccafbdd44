// Renders the main window after a typical run and the about box to PNG files, for a person to
// look at (tools/screenshots): render_app_screenshots OUT_DIR
#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include "app/AboutDlg.h"
#include "app/LauncherDlg.h"
#include "app/recorders.h"
#include "common/TokenList.h"
#include "platform/Profile.h"
#include "platform/WineRegistry.h"
#include "settings/LauncherSettings.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(out);
    QTemporaryDir sandbox;
    torv::platform::Profile profile(sandbox.filePath("torv.ini"));
    torv::platform::WineRegistry registry(sandbox.filePath("prefix"));
    torv::CLauncherSettings settings(profile, registry);
    torv::CTokenList args;
    torv::test::RecordingStarter starter;

    torv::CLauncherDlg window(settings, registry, args, starter);
    window.show();
    const QString game = QStringLiteral("/home/pilot/Games/Descent 3/");
    for (const QString& line :
         {QStringLiteral("Torvane Auto-download Tool by Quillfen."), "D3 Path is [" + game + "].",
          QStringLiteral(
              "Attempting to retrieve [http://missions.example.com/descent3/levels/btc.zip]."),
          QStringLiteral("Mission found, downloading to [") + game + "missions/btc.zip]...",
          QStringLiteral("Bytes copied: 1843200"), QStringLiteral("Unzipped File: [btc.mn3]."),
          QStringLiteral("Unzipped File: [btc.txt]."), QStringLiteral("Deleting zip file..."),
          "D3 CMD LINE: [" + game + "main.exe -directip 192.168.0.100 -launched]",
          QStringLiteral("Launching D3...")}) {
        window.Log(line);
    }
    window.grab().save(out + "/main-window.png");

    torv::CAboutDlg about;
    about.show();
    QApplication::processEvents();
    about.grab().save(out + "/about-box.png");
    return 0;
}
