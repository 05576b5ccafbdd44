// Steam as it lies on disk, in a temporary home: roots with steamapps/libraryfolders.vdf, libraries
// with app manifests and install folders, and Proton prefixes. HOME points at the home while the
// fixture lives, as Steam's files are found through it.
#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace torv::test {

class SteamFixture {
public:
    SteamFixture() : m_savedHome(qgetenv("HOME")) {
        QDir().mkpath(home());
        qputenv("HOME", QFile::encodeName(home()));
    }
    ~SteamFixture() { qputenv("HOME", m_savedHome); }

    QString home() const { return m_dir.path() + "/home"; }
    QString path(const QString& relative) const { return m_dir.path() + "/" + relative; }
    QString nativeRoot() const { return home() + "/.local/share/Steam"; }
    QString flatpakRoot() const {
        return home() + "/.var/app/com.valvesoftware.Steam/.local/share/Steam";
    }

    // The root's listing of libraries, each with its apps; appLibrary (-1: none) holds 273590.
    static void writeLibraries(const QString& root, const QStringList& libraries, int appLibrary) {
        QString vdf = "\"libraryfolders\"\n{\n";
        for (int i = 0; i < libraries.size(); ++i) {
            vdf += QString(
                       "\t\"%1\"\n\t{\n\t\t\"path\"\t\t\"%2\"\n\t\t\"label\"\t\t\"\"\n"
                       "\t\t\"apps\"\n\t\t{\n\t\t\t\"228980\"\t\t\"1000\"\n%3\t\t}\n\t}\n")
                       .arg(i)
                       .arg(libraries[i], i == appLibrary ? "\t\t\t\"273590\"\t\t\"2000\"\n" : "");
        }
        write(root + "/steamapps/libraryfolders.vdf", vdf + "}\n");
    }

    // The app's manifest naming installdir, and the install folder holding the executables (each
    // a script recording its arguments into <folder>/<name>.args). Returns the folder with "/".
    static QString installGame(const QString& library, const QString& installdir,
                               const QStringList& executables) {
        write(library + "/steamapps/appmanifest_273590.acf",
              QString("\"AppState\"\n{\n\t\"appid\"\t\t\"273590\"\n\t\"name\"\t\t\"Descent 3\"\n"
                      "\t\"installdir\"\t\t\"%1\"\n}\n")
                  .arg(installdir));
        const QString folder = library + "/steamapps/common/" + installdir + "/";
        QDir().mkpath(folder + "missions");
        for (const QString& name : executables) {
            writeRecorder(folder + name, folder + name + ".args");
        }
        return folder;
    }

    // The library's Proton prefix (see writeWinePrefix). Returns the prefix.
    static QString writeProtonPrefix(const QString& library, const QString& driveC,
                                     const QString& windowsFolder) {
        const QString prefix = library + "/steamapps/compatdata/273590/pfx";
        writeWinePrefix(prefix, driveC, windowsFolder);
        return prefix;
    }

    // A Wine prefix whose system.reg names C:\<windowsFolder> as the game's BaseDirectory, with
    // drive C: linked to driveC.
    static void writeWinePrefix(const QString& prefix, const QString& driveC,
                                const QString& windowsFolder) {
        QDir().mkpath(prefix + "/dosdevices");
        QFile::link(driveC, prefix + "/dosdevices/c:");
        write(prefix + "/system.reg",
              QString(
                  "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win64\n\n"
                  "[Software\\\\Wow6432Node\\\\Outrage\\\\Descent3] 1700000000\n"
                  "\"BaseDirectory\"=\"C:\\\\%1\"\n\n")
                  .arg(windowsFolder));
    }

    // An executable script that writes its arguments, one a line, into record.
    static void writeRecorder(const QString& path, const QString& record) {
        write(path, QString("#!/bin/sh\nprintf '%s\\n' \"$@\" > '%1'\n").arg(record));
        QFile(path).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    static void write(const QString& path, const QString& text) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            file.write(text.toUtf8());
        }
    }

private:
    QTemporaryDir m_dir;
    QByteArray m_savedHome;
};

}  // namespace torv::test
