// A Wine prefix in a temporary folder: system.reg and user.reg in Wine's own file format and
// dosdevices drive links, as Wine lays them out.
#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>

namespace torv::test {

class WinePrefixFixture {
public:
    WinePrefixFixture() {
        QDir(root()).mkpath(QStringLiteral("prefix/dosdevices"));
        QDir(root()).mkpath(QStringLiteral("prefix/drive_c"));
        linkDrive(QStringLiteral("c:"), QStringLiteral("../drive_c"));
    }

    QString root() const { return m_dir.path(); }
    QString prefix() const { return root() + QStringLiteral("/prefix"); }
    QString driveC() const { return prefix() + QStringLiteral("/drive_c"); }

    // Body is the key sections; the header Wine writes in front of them is added here.
    void writeSystemReg(const QString& body) const { writeHive("system", "Machine", body); }
    void writeUserReg(const QString& body) const {
        writeHive("user", "User\\\\S-1-5-21-0-0-0-1000", body);
    }
    void linkDrive(const QString& drive, const QString& target) const {
        QFile::link(target, prefix() + QStringLiteral("/dosdevices/") + drive);
    }
    QString makeFolder(const QString& relative) const {
        QDir(root()).mkpath(relative);
        return root() + QLatin1Char('/') + relative;
    }
    static void write(const QString& path, const QByteArray& bytes) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            file.write(bytes);
        }
    }
    static void write(const QString& path, const QString& text) { write(path, text.toUtf8()); }
    static QByteArray read(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private:
    void writeHive(const char* file, const char* root, const QString& body) const {
        write(prefix() + QStringLiteral("/%1.reg").arg(file),
              QStringLiteral("WINE REGISTRY Version 2\n;; All keys relative to \\\\%1\n\n"
                             "#arch=win64\n\n")
                      .arg(root) +
                  body);
    }

    QTemporaryDir m_dir;
};

}  // namespace torv::test
