// A sandbox for running the torv binary headless: its own config home and Wine prefix, a game
// folder with a missions folder, and a local mission site.
#pragma once

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include "support/http_server.h"
#include "support/temp_dir.h"

namespace torv::test {

class Sandbox {
public:
    Sandbox() : m_root(QString::fromStdString(m_dir.path())) {
        m_game = m_root + "/game/";
        m_missions = m_game + "missions/";
        QDir().mkpath(m_missions);
        QDir().mkpath(m_root + "/config/Quillfen");
        QFile game(m_game + "main.exe");
        game.open(QIODevice::WriteOnly);
        game.write("#!/bin/sh\n");
    }

    QString iniPath(const QString& appName = QStringLiteral("torv")) const {
        return m_root + "/config/Quillfen/" + appName + ".ini";
    }

    // Settings naming the game folder and one site of the local server.
    void writeSettings(const std::string& sitePath, const QString& appName = "torv") {
        QFile ini(iniPath(appName));
        ini.open(QIODevice::WriteOnly | QIODevice::Truncate);
        ini.write(("[settings]\nD3 Executable Path=" + m_game + "\n[MissionSites]\nURL1=" +
                   QString::fromStdString(m_server.url(sitePath)) + "\n")
                      .toUtf8());
    }

    void start(QProcess& torv, const QStringList& arguments,
               const QString& program = QStringLiteral(TORV_BINARY)) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(name);
        env.insert("XDG_CONFIG_HOME", m_root + "/config");
        env.insert("WINEPREFIX", m_root + "/prefix");
        env.insert("HOME", m_root);
        torv.setProcessEnvironment(env);
        torv.start(program, arguments);
    }

    // Runs torv to its end (bounded); its output lines, or none when it hung.
    QStringList run(const QStringList& arguments, int& exitCode,
                    const QString& program = QStringLiteral(TORV_BINARY)) {
        QProcess torv;
        start(torv, arguments, program);
        if (!torv.waitForFinished(30000)) {
            torv.kill();
            torv.waitForFinished();
            exitCode = -1;
            return {};
        }
        exitCode = torv.exitStatus() == QProcess::NormalExit ? torv.exitCode() : -1;
        return QString::fromUtf8(torv.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    }

    // Reads torv's output until a line starts with prefix; what it read goes to out.
    static bool waitForLine(QProcess& torv, const QString& prefix, QString& out) {
        const QDeadlineTimer deadline(20000);
        while (!deadline.hasExpired()) {
            out += QString::fromUtf8(torv.readAllStandardOutput());
            if (out.startsWith(prefix) || out.contains("\n" + prefix))
                return true;
            if (torv.state() == QProcess::NotRunning)
                return false;
            torv.waitForReadyRead(100);
        }
        return false;
    }

    TempDir m_dir;
    HttpServer m_server;
    QString m_root;
    QString m_game;
    QString m_missions;
};

}  // namespace torv::test
