// Games installed through Steam: its roots in the user's home, the libraries each root lists in
// steamapps/libraryfolders.vdf, and an app's install folder and Proton prefix in a library.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace torv::platform {

inline constexpr char kDescent3AppId[] = "273590";

struct SteamInstall {
    QString library;
    // <library>/steamapps/common/<installdir of the app's manifest>/
    QString gameFolder;
    // <library>/steamapps/compatdata/<app>/pfx: the Wine prefix Proton runs the app in.
    QString protonPrefix;
};

// The native root, the older link to it, and the Flatpak root, under $HOME.
QStringList steamRoots();

// The libraries that hold the app, each once, root by root: first the libraries whose listing
// names the app, then any other with the app's manifest. A library whose manifest names no
// usable folder is left out.
QList<SteamInstall> findSteamInstalls(const QString& appId,
                                      const QStringList& roots = steamRoots());

// True when folder lies inside the steamapps/common folder of a Steam library.
bool isInSteamLibrary(const QString& folder);

// The steam program on the PATH; empty when there is none.
QString findSteamProgram();

}  // namespace torv::platform
