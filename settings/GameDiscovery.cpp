#include "settings/GameDiscovery.h"

#include <array>

#include "platform/GameExecutable.h"
#include "platform/SteamLibraries.h"
#include "platform/WineRegistry.h"

namespace torv {

namespace {

struct DiscoverySource {
    const char* key;
    const char* value;
};

const std::array<DiscoverySource, 2> kSources = {{
    {"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Descent 3.Exe", "Path"},
    {"Software\\Outrage\\Descent3", "BaseDirectory"},
}};

// The game read its folder into a MAX_PATH buffer and kept one byte for an appended backslash,
// so a value needing more than 259 bytes with its terminating NUL was no path it could use.
constexpr qsizetype kMaxValueBytes = 259;

}  // namespace

bool IsValidGameFolder(const QString& folder) {
    QString candidate = folder;
    if (!candidate.endsWith(QLatin1Char('/'))) {
        candidate += QLatin1Char('/');
    }
    return !platform::findGameExecutable(candidate).isEmpty();
}

namespace {

bool DiscoverInRegistry(const platform::WineRegistry& registry, QString& folder) {
    using platform::WineRegistry;
    for (const DiscoverySource& source : kSources) {
        const auto value =
            registry.readString(WineRegistry::Hive::LocalMachine, QString::fromLatin1(source.key),
                                QString::fromLatin1(source.value), WineRegistry::View::Prefer32Bit);
        if (!value || value->toUtf8().size() + 1 > kMaxValueBytes) {
            continue;
        }
        QString candidate = registry.toUnixPath(*value);
        if (candidate.isEmpty()) {
            continue;
        }
        if (!candidate.endsWith(QLatin1Char('/'))) {
            candidate += QLatin1Char('/');
        }
        if (IsValidGameFolder(candidate)) {
            folder = candidate;
            return true;
        }
    }
    return false;
}

}  // namespace

bool DiscoverGameFolder(const platform::WineRegistry& registry, QString& folder) {
    if (DiscoverInRegistry(registry, folder)) {
        return true;
    }
    for (const platform::SteamInstall& install :
         platform::findSteamInstalls(QString::fromLatin1(platform::kDescent3AppId))) {
        if (IsValidGameFolder(install.gameFolder)) {
            folder = install.gameFolder;
            return true;
        }
        // The installer Proton ran wrote the game's entries into the prefix it ran in.
        if (DiscoverInRegistry(platform::WineRegistry(install.protonPrefix), folder)) {
            return true;
        }
    }
    return false;
}

}  // namespace torv
