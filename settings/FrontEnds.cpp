#include "settings/FrontEnds.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <algorithm>

#include "common/TokenList.h"
#include "platform/SteamLibraries.h"
#include "platform/WineRegistry.h"

namespace torv {

namespace {

using platform::RegistryValue;
using platform::WineRegistry;
constexpr WineRegistry::Hive kUser = WineRegistry::Hive::CurrentUser;

const QString kKqueryExe = QStringLiteral("game_desc3");
const QString kKqueryParams = QStringLiteral("game_desc3_params");
const QString kKaliExe = QStringLiteral("GameExe");
const QString kKaliParams = QStringLiteral("CmdLineOpts");

QString trimRight(QString text) {
    qsizetype end = text.size();
    while (end > 0 && text.at(end - 1).isSpace()) {
        --end;
    }
    text.truncate(end);
    return text;
}

// A token that holds a blank came quoted and must stay one token when read again.
QString quoteIfNeeded(const QString& token) {
    if (token.contains(QLatin1Char(' '))) {
        return QLatin1Char('"') + token + QLatin1Char('"');
    }
    return token;
}

}  // namespace

const QString CFrontEnds::kKquery4Key = QStringLiteral("Software\\coldstorage\\Kquery4");
const QString CFrontEnds::kKali95Key = QStringLiteral("Software\\Kali\\Kali95\\Games");

CFrontEnds::CFrontEnds(platform::WineRegistry& registry)
    : m_registry(registry), m_ownExecutable(QCoreApplication::applicationFilePath()) {
    // Front ends installed into the game's Proton prefix keep their settings there.
    const QString own = QFileInfo(registry.prefixPath()).canonicalFilePath();
    for (const platform::SteamInstall& install :
         platform::findSteamInstalls(QString::fromLatin1(platform::kDescent3AppId))) {
        const QString prefix = QFileInfo(install.protonPrefix).canonicalFilePath();
        if (!prefix.isEmpty() && prefix != own) {
            m_protonRegistries.push_back(std::make_unique<WineRegistry>(install.protonPrefix));
        }
    }
}

CFrontEnds::CFrontEnds(CFrontEnds&&) noexcept = default;
CFrontEnds::~CFrontEnds() = default;

platform::WineRegistry& CFrontEnds::RegistryOf(int prefix) const {
    return prefix == 0 ? m_registry : *m_protonRegistries.at(std::size_t(prefix - 1));
}

FrontEndValue CFrontEnds::ReadValue(const WineRegistry& registry, const QString& key,
                                    const QString& name) const {
    FrontEndValue value;
    const auto raw = registry.readValue(kUser, key, name);
    if (!raw) {
        return value;
    }
    value.raw = *raw;
    value.status = raw->isString() && raw->text().size() <= kMaxValueLength
                       ? FrontEndValue::Status::Text
                       : FrontEndValue::Status::Kept;
    return value;
}

FrontEndEntry CFrontEnds::ReadEntry(int prefix, int kind, const QString& key, const QString& suffix,
                                    const QString& exeName, const QString& paramsName,
                                    const QString& rowText) const {
    const WineRegistry& registry = RegistryOf(prefix);
    FrontEndEntry entry;
    entry.prefix = prefix;
    entry.kind = kind;
    entry.keySuffix = suffix;
    entry.rowText = rowText;
    entry.executableValue = ReadValue(registry, key + suffix, exeName);
    entry.parametersValue = ReadValue(registry, key + suffix, paramsName);
    if (entry.executableValue.status == FrontEndValue::Status::Text) {
        entry.executable = entry.executableValue.raw.text().toLower();
    }
    if (entry.parametersValue.status == FrontEndValue::Status::Text) {
        entry.parameters = entry.parametersValue.raw.text();
    }
    return entry;
}

QList<int> CFrontEnds::AddKquery4Entry() {
    QList<int> added;
    for (int prefix = 0; prefix <= int(m_protonRegistries.size()); ++prefix) {
        if (!RegistryOf(prefix).hasKey(kUser, kKquery4Key)) {
            continue;
        }
        m_entries.append(ReadEntry(prefix, FRONTEND_KQUERY4, kKquery4Key, QString(), kKqueryExe,
                                   kKqueryParams, QStringLiteral("Kquery 4")));
        added.append(GetCount() - 1);
    }
    return added;
}

QList<int> CFrontEnds::AddKali95Entries() {
    QList<int> added;
    for (int prefix = 0; prefix <= int(m_protonRegistries.size()); ++prefix) {
        const WineRegistry& registry = RegistryOf(prefix);
        if (!registry.hasKey(kUser, kKali95Key)) {
            continue;
        }
        for (const QString& name : registry.subkeys(kUser, kKali95Key)) {
            if (!name.contains(QStringLiteral("Descent 3"), Qt::CaseSensitive)) {
                continue;
            }
            m_entries.append(ReadEntry(prefix, FRONTEND_KALI95, kKali95Key,
                                       QLatin1Char('\\') + name, kKaliExe, kKaliParams,
                                       QStringLiteral("Kali 95 [") + name + QLatin1Char(']')));
            added.append(GetCount() - 1);
        }
    }
    return added;
}

int CFrontEnds::CheckStateFor(const QString& executable) {
    if (executable.contains(QStringLiteral("main.exe"))) {
        return CHECK_UNCHECKED;
    }
    if (executable.contains(QStringLiteral("torv.exe"))) {
        return CHECK_CHECKED;
    }
    // Outside Windows the tool's file has no extension; a row saved checked names it so.
    const qsizetype slash = std::max(executable.lastIndexOf(QLatin1Char('\\')),
                                     executable.lastIndexOf(QLatin1Char('/')));
    const QString fileName = executable.mid(slash + 1);
    if (fileName == QLatin1String("torv")) {
        return CHECK_CHECKED;
    }
    return CHECK_INDETERMINATE;
}

QString CFrontEnds::GetMissionPlaceholder(int kind) {
    switch (kind) {
        case FRONTEND_KQUERY4:
            return QStringLiteral("%map%");
        case FRONTEND_KALI95:
            return QStringLiteral("{mapname}");
        default:
            return QString();
    }
}

LaunchSettings CFrontEnds::BuildLaunchSettings(int index, int checkState,
                                               const QString& gameFolder) const {
    const FrontEndEntry& entry = m_entries.at(index);
    LaunchSettings out;
    const bool exeKept = entry.executableValue.status == FrontEndValue::Status::Kept;
    const bool paramsKept = entry.parametersValue.status == FrontEndValue::Status::Kept;
    if (checkState == CHECK_INDETERMINATE) {
        out.executable = entry.executable;
        out.parameters = entry.parameters;
        out.keepExecutable = exeKept;
        out.keepParameters = paramsKept;
        return out;
    }

    CTokenList tokens;
    const QByteArray text = entry.parameters.toUtf8();
    tokens.Split(text.constData());
    if (paramsKept || tokens.WasTruncated()) {
        // Rebuilding from a part of the text would lose the rest of the front end's settings.
        out.executable = entry.executable;
        out.parameters = entry.parameters;
        out.keepExecutable = true;
        out.keepParameters = true;
        out.asAsked = false;
        return out;
    }
    const int g = tokens.Find("-getmission");
    const int r = tokens.Find("-rund3");
    for (int i = 0; i < tokens.GetCount(); ++i) {
        const char* token = tokens.GetAt(i);
        if (i == r || i == g || (g >= 0 && i == g + 1 && token[0] != '-')) {
            continue;
        }
        out.parameters += quoteIfNeeded(QString::fromUtf8(token)) + QLatin1Char(' ');
    }

    if (checkState == CHECK_UNCHECKED) {
        QString folder = RegistryOf(entry.prefix).toWindowsPath(gameFolder);
        if (!folder.isEmpty() && !folder.endsWith(QLatin1Char('\\'))) {
            folder += QLatin1Char('\\');
        }
        out.executable = folder + QStringLiteral("main.exe");
        out.parameters = trimRight(out.parameters);
    } else {
        out.executable = RegistryOf(entry.prefix).toWindowsPath(m_ownExecutable);
        out.parameters += QStringLiteral("-getmission ") + GetMissionPlaceholder(entry.kind) +
                          QStringLiteral(" -rund3");
    }
    return out;
}

CFrontEnds::WriteResult CFrontEnds::Write(int index, int checkState, const QString& gameFolder,
                                          const QString& key, const QString& exeName,
                                          const QString& paramsName) {
    const LaunchSettings settings = BuildLaunchSettings(index, checkState, gameFolder);
    WineRegistry& registry = RegistryOf(m_entries.at(index).prefix);
    if (!registry.hasKey(kUser, key)) {
        return WriteResult::KeyMissing;
    }
    bool ok = true;
    if (!settings.keepExecutable) {
        ok = registry.writeString(kUser, key, exeName, settings.executable) && ok;
    }
    if (!settings.keepParameters) {
        ok = registry.writeString(kUser, key, paramsName, settings.parameters) && ok;
    }
    if (!ok) {
        return WriteResult::Failed;
    }
    return settings.asAsked ? WriteResult::Written : WriteResult::LeftAsItWas;
}

CFrontEnds::WriteResult CFrontEnds::WriteKquery4Entry(int index, int checkState,
                                                      const QString& gameFolder) {
    return Write(index, checkState, gameFolder, kKquery4Key + m_entries.at(index).keySuffix,
                 kKqueryExe, kKqueryParams);
}

CFrontEnds::WriteResult CFrontEnds::WriteKali95Entry(int index, int checkState,
                                                     const QString& gameFolder) {
    return Write(index, checkState, gameFolder, kKali95Key + m_entries.at(index).keySuffix,
                 kKaliExe, kKaliParams);
}

CFrontEnds::WriteResult CFrontEnds::WriteEntry(int index, int checkState,
                                               const QString& gameFolder) {
    switch (m_entries.at(index).kind) {
        case FRONTEND_KQUERY4:
            return WriteKquery4Entry(index, checkState, gameFolder);
        case FRONTEND_KALI95:
            return WriteKali95Entry(index, checkState, gameFolder);
        default:
            return WriteResult::KeyMissing;
    }
}

QString CFrontEnds::WarningFor(int index, WriteResult result) const {
    const QString& row = m_entries.at(index).rowText;
    switch (result) {
        case WriteResult::Failed:
            return QStringLiteral("WARNING: Unable to save the launch settings of [") + row +
                   QStringLiteral("].");
        case WriteResult::LeftAsItWas:
            return QStringLiteral("WARNING: Launch settings of [") + row +
                   QStringLiteral("] left as they were: its parameters are too long to rewrite.");
        default:
            return QString();
    }
}

}  // namespace torv
