#include "platform/SteamLibraries.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <optional>

#include "platform/Files.h"
#include "platform/KeyValues.h"

namespace torv::platform {

namespace {

// Steam's own files are small; anything larger is not one of them.
constexpr qint64 kMaxFileBytes = 4 * 1024 * 1024;

std::optional<KeyValue> readKeyValues(const QString& path) {
    // A FIFO or device under Steam's file name would block the open or never end.
    if (!isReadableFile(path)) {
        return std::nullopt;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxFileBytes) {
        return std::nullopt;
    }
    const QByteArray text = file.read(kMaxFileBytes + 1);
    return ParseKeyValues(std::string_view(text.constData(), std::size_t(text.size())));
}

QString text(const std::string& value) {
    return QString::fromUtf8(value.data(), qsizetype(value.size()));
}

// A folder Steam names in one spelling may sit on disk in another.
QString child(const QString& folder, const QString& name) {
    const QString found = findFileNoCase(folder, name);
    return found.isEmpty() ? QDir(folder).filePath(name) : found;
}

QString steamapps(const QString& library) {
    return child(library, QStringLiteral("steamapps"));
}

struct Library {
    QString path;
    bool listsApp = false;
};

QList<Library> librariesOf(const QString& root, const QString& appId) {
    QList<Library> libraries;
    const auto vdf = readKeyValues(steamapps(root) + QStringLiteral("/libraryfolders.vdf"));
    const KeyValue* folders = vdf ? vdf->find("libraryfolders") : nullptr;
    if (folders != nullptr) {
        for (const KeyValue& entry : folders->children) {
            if (!entry.isBlock) {
                // Older clients listed bare paths under numbered keys, without their apps.
                const bool numbered = !entry.key.empty() && entry.key.find_first_not_of(
                                                                "0123456789") == std::string::npos;
                if (numbered && !entry.value.empty()) {
                    libraries.append({text(entry.value), false});
                }
                continue;
            }
            const KeyValue* path = entry.find("path");
            if (path == nullptr || path->isBlock || path->value.empty()) {
                continue;
            }
            const KeyValue* apps = entry.find("apps");
            const bool listsApp = apps != nullptr && apps->find(appId.toStdString()) != nullptr;
            libraries.append({text(path->value), listsApp});
        }
    }
    // The root is a library of its own even where the listing leaves it out.
    libraries.append({root, false});
    return libraries;
}

// The folder under steamapps/common that the app's manifest names; empty without a usable one.
QString installFolder(const QString& library, const QString& appId) {
    const auto manifest = readKeyValues(steamapps(library) + QStringLiteral("/appmanifest_") +
                                        appId + QStringLiteral(".acf"));
    const KeyValue* state = manifest ? manifest->find("AppState") : nullptr;
    const KeyValue* dir = state != nullptr ? state->find("installdir") : nullptr;
    if (dir == nullptr || dir->isBlock) {
        return {};
    }
    const QString name = text(dir->value);
    // A name that climbs out of the library's common folder is no install folder.
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..") ||
        name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\'))) {
        return {};
    }
    return child(child(steamapps(library), QStringLiteral("common")), name) + QLatin1Char('/');
}

}  // namespace

QStringList steamRoots() {
    const QString home = QDir::homePath();
    return {home + QStringLiteral("/.local/share/Steam"), home + QStringLiteral("/.steam/steam"),
            home + QStringLiteral("/.var/app/com.valvesoftware.Steam/.local/share/Steam")};
}

QList<SteamInstall> findSteamInstalls(const QString& appId, const QStringList& roots) {
    QList<SteamInstall> installs;
    QStringList seen;
    for (const QString& root : roots) {
        if (!QFileInfo(root).isDir()) {
            continue;
        }
        const QList<Library> libraries = librariesOf(root, appId);
        for (const bool listed : {true, false}) {
            for (const Library& library : libraries) {
                if (library.listsApp != listed) {
                    continue;
                }
                // ~/.steam/steam is usually a link to another root: each library counts once.
                const QString canonical = QFileInfo(library.path).canonicalFilePath();
                if (canonical.isEmpty() || seen.contains(canonical)) {
                    continue;
                }
                const QString folder = installFolder(library.path, appId);
                if (folder.isEmpty()) {
                    continue;
                }
                seen.append(canonical);
                installs.append(
                    {library.path, folder,
                     child(child(steamapps(library.path), QStringLiteral("compatdata")), appId) +
                         QStringLiteral("/pfx")});
            }
        }
    }
    return installs;
}

bool isInSteamLibrary(const QString& folder) {
    if (folder.isEmpty()) {
        return false;
    }
    for (const QString& path :
         {QDir::cleanPath(QDir(folder).absolutePath()), QFileInfo(folder).canonicalFilePath()}) {
        QStringList parts = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
        // The game sits in a folder of its own below common, never in common itself.
        for (qsizetype i = parts.size() - 2; i >= 1; --i) {
            if (parts.at(i).compare(QLatin1String("common"), Qt::CaseInsensitive) == 0 &&
                parts.at(i - 1).compare(QLatin1String("steamapps"), Qt::CaseInsensitive) == 0) {
                return true;
            }
        }
    }
    return false;
}

QString findSteamProgram() {
    return QStandardPaths::findExecutable(QStringLiteral("steam"));
}

}  // namespace torv::platform
