// The torv binary run from outside in a sandbox: its own config home, home and Wine prefix, no
// display, a game folder whose fake game records its arguments and working folder, and a local
// mission site.
#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <memory>

#include "support/http_server.h"
#include "support/steam_fixture.h"
#include "support/temp_dir.h"
#include "support/zip_builder.h"

namespace torv::test {

// btc.mn3 of that size, stored so that its download spans many chunks, and a briefing.
inline std::string MissionArchive(size_t size) {
    ZipBuilder zip;
    zip.add("btc.mn3", std::string(size, 'M'), 0);
    zip.add("btc.txt", "Briefing.\n");
    return zip.build();
}

struct Outcome {
    int exitCode = -1;  // -1: crashed or hung
    QStringList lines;  // standard output
};

class Sandbox {
public:
    Sandbox() {
        QDir().mkpath(m_missions);
        QDir().mkpath(m_root + "/home");
        write(m_game + "main.exe", "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"" + m_game +
                                       "args.txt\"\npwd > \"" + m_game + "cwd.txt\"\n");
        QFile(m_game + "main.exe").setPermissions(QFile::ReadOwner | QFile::ExeOwner);
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
            m_env.remove(name);
        }
        m_env.insert("XDG_CONFIG_HOME", m_root + "/config");
        m_env.insert("WINEPREFIX", m_root + "/prefix");
        m_env.insert("HOME", m_root + "/home");
    }

    static constexpr auto write = &SteamFixture::write;
    static QString read(const QString& path) {
        return QString::fromStdString(TempDir::read(path.toStdString()));
    }

    QString iniPath(const QString& app = "torv") const {
        return m_root + "/config/Quillfen/" + app + ".ini";
    }
    QString site(const std::string& path) const {
        return QString::fromStdString(m_server.url(path));
    }

    void writeSettings(const QString& folder, const QStringList& sites, bool keepAlive = false,
                       const QString& app = "torv") {
        QString ini = "[settings]\nD3 Executable Path=" + folder +
                      "\nKeep Alive=" + (keepAlive ? "1" : "0") + "\n[MissionSites]\n";
        for (int i = 0; i < sites.size(); ++i) {
            ini += QStringLiteral("URL%1=%2\n").arg(i + 1).arg(sites[i]);
        }
        write(iniPath(app), ini);
    }

    std::unique_ptr<QProcess> start(const QStringList& arguments,
                                    const QString& program = QStringLiteral(TORV_BINARY),
                                    const QString& stdoutFile = {}) {
        auto process = std::make_unique<QProcess>();
        process->setProcessEnvironment(m_env);
        if (!stdoutFile.isEmpty()) {
            process->setStandardOutputFile(stdoutFile);
        }
        process->start(program, arguments);
        return process;
    }

    static Outcome finish(QProcess& process) {
        Outcome result;
        if (!process.waitForFinished(60000)) {
            return result;  // the process object kills it on its way out
        }
        result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        result.lines = QString::fromUtf8(process.readAllStandardOutput()).split('\n');
        if (result.lines.last().isEmpty()) {
            result.lines.removeLast();
        }
        return result;
    }

    Outcome run(const QStringList& arguments,
                const QString& program = QStringLiteral(TORV_BINARY)) {
        return finish(*start(arguments, program));
    }

    TempDir m_dir;
    HttpServer m_server;
    const QString m_root = QString::fromStdString(m_dir.path());
    const QString m_game = m_root + "/Games/Descent 3/";
    const QString m_missions = m_game + "missions/";
    QProcessEnvironment m_env = QProcessEnvironment::systemEnvironment();
};

}  // namespace torv::test
