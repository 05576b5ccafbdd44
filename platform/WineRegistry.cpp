#include "platform/WineRegistry.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSaveFile>
#include <algorithm>

#include "platform/Files.h"

namespace torv::platform {

namespace {

const QString kWow64Node = QStringLiteral("Wow6432Node");

// Long enough for a reg tool that first has to wait for a busy server, short enough that a hung
// one cannot freeze the caller for good.
constexpr int kRegToolTimeoutMs = 15000;

// We only ever write strings; other types are not written through Wine's reg tool.
std::optional<QPair<QString, QString>> regToolData(const RegistryValue& value) {
    switch (value.type) {
        case RegSz:
            return qMakePair(QStringLiteral("REG_SZ"), value.text());
        case RegExpandSz:
            return qMakePair(QStringLiteral("REG_EXPAND_SZ"), value.text());
        default:
            return std::nullopt;
    }
}

bool isDriveName(const QString& name) {
    return name.size() == 2 && name.at(1) == QLatin1Char(':') && name.at(0).isLetter() &&
           name.at(0).unicode() < 128;
}

// True when path lies at or below folder (both clean absolute paths).
bool isUnder(const QString& path, const QString& folder) {
    if (folder == QLatin1String("/")) {
        return true;
    }
    return path == folder || path.startsWith(folder + QLatin1Char('/'));
}

}  // namespace

WineRegistry::WineRegistry(QString prefixPath)
    : m_prefix(std::move(prefixPath)),
      m_serverRoot(QStringLiteral("/tmp/.wine-%1").arg(::getuid())) {}

QString WineRegistry::defaultPrefix() {
    const QString prefix = qEnvironmentVariable("WINEPREFIX");
    if (!prefix.isEmpty()) {
        return prefix;
    }
    return QDir::homePath() + QStringLiteral("/.wine");
}

QString WineRegistry::hivePath(Hive hive) const {
    return m_prefix + (hive == Hive::LocalMachine ? QStringLiteral("/system.reg")
                                                  : QStringLiteral("/user.reg"));
}

QString WineRegistry::dosDevices() const {
    return m_prefix + QStringLiteral("/dosdevices");
}

const RegistryFile& WineRegistry::hiveFile(Hive hive) const {
    CachedHive& cached = m_hives[hive == Hive::LocalMachine ? 0 : 1];
    const QFileInfo info(hivePath(hive));
    const bool exists = info.isFile();
    // Read again whenever the file changed since the last look (Wine, or another object).
    if (cached.loaded && cached.exists == exists &&
        (!exists || (cached.modified == info.lastModified() && cached.size == info.size()))) {
        return cached.file;
    }
    cached = CachedHive();
    cached.loaded = true;
    cached.exists = exists;
    if (exists) {
        cached.modified = info.lastModified();
        cached.size = info.size();
        QFile file(info.filePath());
        if (file.open(QIODevice::ReadOnly)) {
            cached.file = RegistryFile::fromText(QString::fromUtf8(file.readAll()));
        }
    }
    return cached.file;
}

QStringList WineRegistry::viewKeys(Hive hive, const QString& key, View view) const {
    const QString normalized = RegistryFile::normalizeKey(key);
    const QStringList parts = normalized.split(QLatin1Char('\\'));
    if (view == View::Prefer32Bit && hive == Hive::LocalMachine && parts.size() >= 2 &&
        parts.at(0).compare(QLatin1String("Software"), Qt::CaseInsensitive) == 0 &&
        parts.at(1).compare(kWow64Node, Qt::CaseInsensitive) != 0) {
        QStringList redirected = parts;
        redirected.insert(1, kWow64Node);
        return {redirected.join(QLatin1Char('\\')), normalized};
    }
    return {normalized};
}

bool WineRegistry::hasKey(Hive hive, const QString& key, View view) const {
    const RegistryFile& file = hiveFile(hive);
    const QStringList keys = viewKeys(hive, key, view);
    return std::any_of(keys.begin(), keys.end(), [&](const QString& k) { return file.hasKey(k); });
}

std::optional<RegistryValue> WineRegistry::readValue(Hive hive, const QString& key,
                                                     const QString& name, View view) const {
    const RegistryFile& file = hiveFile(hive);
    for (const QString& candidate : viewKeys(hive, key, view)) {
        if (auto value = file.value(candidate, name)) {
            return value;
        }
    }
    return std::nullopt;
}

std::optional<QString> WineRegistry::readString(Hive hive, const QString& key, const QString& name,
                                                View view) const {
    const auto value = readValue(hive, key, name, view);
    if (!value || !value->isString()) {
        return std::nullopt;
    }
    return value->text();
}

QStringList WineRegistry::subkeys(Hive hive, const QString& key) const {
    return hiveFile(hive).subkeys(key);
}

bool WineRegistry::isServerRunning() const {
    struct stat st {};
    if (::stat(QFile::encodeName(m_prefix).constData(), &st) != 0) {
        return false;
    }
    // Wine names the server folder after the device and inode of the prefix folder.
    const QString lockPath = m_serverRoot + QStringLiteral("/server-%1-%2/lock")
                                                .arg(qulonglong(st.st_dev), 0, 16)
                                                .arg(qulonglong(st.st_ino), 0, 16);
    const int fd = ::open(QFile::encodeName(lockPath).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    const bool locked = ::fcntl(fd, F_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
    ::close(fd);
    return locked;
}

bool WineRegistry::writeThroughServer(Hive hive, const QString& key,
                                      const RegistryValue& value) const {
    const auto data = regToolData(value);
    if (!data) {
        return false;
    }
    QStringList arguments{
        QStringLiteral("reg"), QStringLiteral("add"),
        (hive == Hive::LocalMachine ? QStringLiteral("HKLM\\") : QStringLiteral("HKCU\\")) +
            RegistryFile::normalizeKey(key)};
    if (value.name.isEmpty()) {
        arguments << QStringLiteral("/ve");
    } else {
        arguments << QStringLiteral("/v") << value.name;
    }
    arguments << QStringLiteral("/t") << data->first << QStringLiteral("/d") << data->second
              << QStringLiteral("/f");

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("WINEPREFIX"), m_prefix);
    environment.insert(QStringLiteral("WINEDEBUG"), QStringLiteral("-all"));
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(m_wineProgram, arguments);
    if (!process.waitForFinished(kRegToolTimeoutMs)) {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(1000);
        }
        return false;
    }
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

bool WineRegistry::writeValue(Hive hive, const QString& key, const RegistryValue& value) {
    const QString path = hivePath(hive);
    if (!QFileInfo(path).isFile()) {
        return false;
    }
    if (isServerRunning()) {
        // The server's copy is the registry now; the file catches up when the server saves it.
        forgetHive(hive);
        return writeThroughServer(hive, key, value);
    }
    // Changed on a fresh copy of the file, so nothing Wine wrote in between is lost.
    forgetHive(hive);
    RegistryFile file = hiveFile(hive);
    file.setValue(key, value, QDateTime::currentSecsSinceEpoch());
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly)) {
        return false;
    }
    const QByteArray data = file.toText().toUtf8();
    if (out.write(data) != data.size() || !out.commit()) {
        return false;
    }
    // The next read sees the new file through the modification check.
    forgetHive(hive);
    return true;
}

bool WineRegistry::writeString(Hive hive, const QString& key, const QString& name,
                               const QString& text) {
    // An expandable string stays one; anything else that held text (or a number) becomes REG_SZ,
    // since text under a non-string type would read back as garbage.
    const auto existing = readValue(hive, key, name);
    const quint32 type = existing && existing->type == RegExpandSz ? RegExpandSz : RegSz;
    return writeValue(hive, key, RegistryValue::fromString(name, text, type));
}

QString WineRegistry::toUnixPath(const QString& windowsPath) const {
    if (windowsPath.size() < 2 || !isDriveName(windowsPath.left(2))) {
        return {};
    }
    const QString link = findFileNoCase(dosDevices(), windowsPath.left(2).toLower());
    if (link.isEmpty()) {
        return {};
    }
    const QString root = QFileInfo(link).canonicalFilePath();
    if (root.isEmpty()) {
        return {};
    }
    QString path = root;
    bool matching = true;
    const QStringList parts =
        windowsPath.mid(2).split(QRegularExpression(QStringLiteral("[\\\\/]")), Qt::SkipEmptyParts);
    for (const QString& part : parts) {
        if (part == QLatin1String(".")) {
            continue;
        }
        QString name = part;
        if (matching && part != QLatin1String("..")) {
            const QString found = findFileNoCase(path, part);
            if (found.isEmpty()) {
                matching = false;
            } else {
                name = QFileInfo(found).fileName();
            }
        }
        path = path == QLatin1String("/") ? path + name : path + QLatin1Char('/') + name;
    }
    const bool folder =
        windowsPath.endsWith(QLatin1Char('\\')) || windowsPath.endsWith(QLatin1Char('/'));
    if (folder && !path.endsWith(QLatin1Char('/'))) {
        path += QLatin1Char('/');
    }
    return path;
}

QString WineRegistry::toWindowsPath(const QString& unixPath) const {
    if (unixPath.isEmpty()) {
        return {};
    }
    const QString clean = QDir::cleanPath(QFileInfo(unixPath).absoluteFilePath());
    const QString canonical = QFileInfo(clean).canonicalFilePath();
    QStringList forms;
    if (!canonical.isEmpty()) {
        forms.append(canonical);
    }
    forms.append(clean);

    QStringList drives = QDir(dosDevices()).entryList(QDir::AllEntries | QDir::System, QDir::Name);
    drives.erase(std::remove_if(drives.begin(), drives.end(),
                                [](const QString& name) { return !isDriveName(name); }),
                 drives.end());

    QString result;
    for (const QString& form : forms) {
        QString bestDrive;
        QString bestRoot;
        for (const QString& drive : drives) {
            const QString root =
                QFileInfo(dosDevices() + QLatin1Char('/') + drive).canonicalFilePath();
            if (root.isEmpty() || !isUnder(form, root)) {
                continue;
            }
            if (bestDrive.isEmpty() || root.size() > bestRoot.size()) {
                bestDrive = drive;
                bestRoot = root;
            }
        }
        if (!bestDrive.isEmpty()) {
            const QString rest =
                bestRoot == QLatin1String("/") ? form.mid(1) : form.mid(bestRoot.size() + 1);
            result = bestDrive.toUpper() + QLatin1Char('\\') + rest;
            break;
        }
    }
    if (result.isEmpty()) {
        // Wine maps Z: to the root of the file system unless the prefix says otherwise.
        result = QStringLiteral("Z:") + clean;
    }
    result.replace(QLatin1Char('/'), QLatin1Char('\\'));
    if (unixPath.endsWith(QLatin1Char('/')) && !result.endsWith(QLatin1Char('\\'))) {
        result += QLatin1Char('\\');
    }
    return result;
}

}  // namespace torv::platform
