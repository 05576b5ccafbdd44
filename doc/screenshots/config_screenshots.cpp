// Renders the configuration dialog in its looks to PNG files for a person to look at: without a
// game (invalid folder, everything disabled), and with a game, sites and front-end rows in each
// check state. Works in a throw-away profile and Wine prefix; nothing is checked over the network.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>

#include "platform/Profile.h"
#include "platform/WineRegistry.h"
#include "settings/ConfigDlg.h"
#include "settings/LauncherSettings.h"

namespace {

void write(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        file.write(bytes);
    }
}

bool render(const QString& root, const QString& outDir, const QString& name) {
    torv::platform::Profile profile(root + "/config/torv.ini");
    torv::platform::WineRegistry registry(root + "/prefix");
    registry.setServerRoot(root + "/no-server");
    torv::CLauncherSettings settings(profile, registry);
    torv::CConfigDlg dialog(&settings, registry, nullptr, nullptr);
    dialog.SetOwnExecutable(root + "/prefix/drive_c/Tools/torv");
    dialog.show();
    QApplication::processEvents();
    const QString path = outDir + "/" + name + ".png";
    const bool ok = dialog.grab().save(path);
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QString outDir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(outDir);
    QTemporaryDir sandbox;
    const QString root = sandbox.path();
    const QString prefix = root + "/prefix";
    QDir().mkpath(prefix + "/dosdevices");
    QDir().mkpath(prefix + "/drive_c");
    QFile::link("../drive_c", prefix + "/dosdevices/c:");
    write(prefix + "/user.reg",
          "WINE REGISTRY Version 2\n\n"
          "[Software\\\\coldstorage\\\\Kquery4] 1700000005\n"
          "\"game_desc3\"=\"C:\\\\KQ\\\\Launcher.exe\"\n"
          "\"game_desc3_params\"=\"-x\"\n\n"
          "[Software\\\\Kali\\\\Kali95\\\\Games\\\\Descent 3] 1700000006\n"
          "\"GameExe\"=\"C:\\\\Games\\\\Descent3\\\\main.exe\"\n"
          "\"CmdLineOpts\"=\"-nointro\"\n\n"
          "[Software\\\\Kali\\\\Kali95\\\\Games\\\\Descent 3 Demo] 1700000007\n"
          "\"GameExe\"=\"C:\\\\Tools\\\\torv\"\n"
          "\"CmdLineOpts\"=\"-getmission {mapname} -rund3\"\n");

    bool ok = render(root, outDir, "config-no-game");

    const QString game = prefix + "/drive_c/Games/Descent3/";
    write(game + "main.exe", "MZ");
    write(root + "/config/torv.ini",
          ("[settings]\nVersion=0.3 Beta\nD3 Executable Path=" + game +
           "\nKeep Alive=1\n\n[MissionSites]\nURL1=http://missions.example.com/descent3/levels/\n"
           "URL2=http://mirror.example.org/d3/missions/\n")
              .toUtf8());
    ok = render(root, outDir, "config-with-game") && ok;

    // A path longer than the box: the box shows its end, the game's own folder.
    const QString deep =
        prefix + "/drive_c/Program Files (x86)/Outrage Entertainment/Descent 3 Retail Edition/";
    write(deep + "main.exe", "MZ");
    write(root + "/config/torv.ini",
          ("[settings]\nVersion=0.4 Beta\nD3 Executable Path=" + deep +
           "\nKeep Alive=0\n\n[MissionSites]\nURL1=https://missions.example.com/descent3/levels/\n")
              .toUtf8());
    ok = render(root, outDir, "config-long-path") && ok;
    return ok ? 0 : 1;
}
