// The main window: a log list in which every step of the run writes a line, the about box and
// (later) the configuration on its context menu. The run happens while the window is shown.
#pragma once

#include <QDialog>
#include <QIcon>

#include "app/MissionFlow.h"
#include "app/MissionLog.h"

class QListWidget;
class QMenu;

namespace torv {

namespace platform {
class WineRegistry;
}

class CLauncherSettings;
class CTokenList;
class GameStarter;

class CLauncherDlg : public QDialog, public MissionLog {
    Q_OBJECT
public:
    enum CommandId { IDM_ABOUTBOX = 0x0010, ID_SYS_CONFIGURE = 0x0020 };

    CLauncherDlg(CLauncherSettings& settings, platform::WineRegistry& registry,
                 const CTokenList& args, GameStarter& starter, QWidget* parent = nullptr);

    // Shows the window, runs the mission flow, then stays until the user closes the window.
    FlowResult Run();
    // Shows the window and runs the flow, without waiting for the user to close it.
    FlowResult RunMissionFlow();

    void Log(const QString& line) override;
    void ReplaceLastLine(const QString& line) override;
    void SetBusy(bool busy) override;

    // The window's menu (the system menu's commands), built anew for each showing.
    QMenu* CreateCommandMenu(QWidget* parent);
    void OnSysCommand(int id);
    void RunConfiguration();

    QListWidget* LogList() const { return m_log; }

public slots:
    void accept() override;
    void reject() override;

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void ShowCommandMenu(const QPoint& globalPos);

    QListWidget* m_log = nullptr;
    QIcon m_hIcon;
    CLauncherSettings& m_settings;
    platform::WineRegistry& m_registry;
    const CTokenList& m_args;
    GameStarter& m_starter;
    bool m_flowRunning = false;
    bool m_closeRequested = false;
    bool m_busy = false;
};

}  // namespace torv
