#include "app/LauncherDlg.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QListWidget>
#include <QMenu>
#include <QShortcut>
#include <memory>

#include "app/AboutDlg.h"
#include "app/ConsoleLog.h"
#include "app/MissionFlowSteps.h"
#include "common/LogLine.h"
#include "common/PumpMessages.h"
#include "res/DialogBuilder.h"
#include "res/Icons.h"
#include "res/Strings.h"
#include "settings/ConfigDlg.h"

namespace torv {

CLauncherDlg::CLauncherDlg(CLauncherSettings& settings, platform::WineRegistry& registry,
                           const CTokenList& args, GameStarter& starter, QWidget* parent)
    : QDialog(parent),
      m_settings(settings),
      m_registry(registry),
      m_args(args),
      m_starter(starter) {
    res::BuildDialog(*this, res::IDD_TORV_DIALOG);
    m_log = qobject_cast<QListWidget*>(res::DialogControl(*this, res::IDC_LOG));
    m_hIcon = res::AppIcon();
    setWindowIcon(m_hIcon);
    setWindowTitle(QStringLiteral("%1 [v%2]").arg(windowTitle(), res::String(res::IDS_VERSION)));

    // Window managers here give applications no system menu: its commands live on the
    // context menu, which the keyboard opens as well.
    for (const QKeySequence& keys :
         {QKeySequence(Qt::SHIFT | Qt::Key_F10), QKeySequence(Qt::Key_Menu)}) {
        auto* shortcut = new QShortcut(keys, this);
        connect(shortcut, &QShortcut::activated, this,
                [this] { ShowCommandMenu(mapToGlobal(rect().center())); });
    }
}

FlowResult CLauncherDlg::Run() {
    const FlowResult result = RunMissionFlow();
    if (!m_closeRequested) {
        exec();
    }
    return result;
}

FlowResult CLauncherDlg::RunMissionFlow() {
    show();
    m_flowRunning = true;
    MissionFlowSteps steps(*this, m_settings, m_args, m_starter);
    steps.SetConfiguration([this] {
        RunConfiguration();
        return true;
    });
    MissionFlow flow(*this, m_settings, m_args, steps);
    const FlowResult result = flow.Run();
    m_flowRunning = false;
    if (m_closeRequested) {
        QDialog::reject();
    }
    return result;
}

void CLauncherDlg::Log(const QString& line) {
    const QString clean = CleanLogLine(line);
    m_log->addItem(clean);
    m_log->scrollToBottom();
    WriteConsoleLine(clean);
    PumpMessages();
}

void CLauncherDlg::ReplaceLastLine(const QString& line) {
    if (m_log->count() > 0) {
        const std::unique_ptr<QListWidgetItem> last(m_log->takeItem(m_log->count() - 1));
    }
    Log(line);
}

QMenu* CLauncherDlg::CreateCommandMenu(QWidget* parent) {
    auto* menu = new QMenu(parent);
    menu->addSeparator();
    QAction* configure = menu->addAction(res::String(res::IDS_CONFIGURE));
    configure->setData(int(ID_SYS_CONFIGURE));
    QAction* about = menu->addAction(res::String(res::IDS_ABOUTBOX));
    about->setData(int(IDM_ABOUTBOX));
    connect(menu, &QMenu::triggered, this,
            [this](QAction* action) { OnSysCommand(action->data().toInt()); });
    return menu;
}

void CLauncherDlg::ShowCommandMenu(const QPoint& globalPos) {
    QMenu* menu = CreateCommandMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(globalPos);
}

void CLauncherDlg::contextMenuEvent(QContextMenuEvent* event) {
    ShowCommandMenu(event->globalPos());
}

void CLauncherDlg::OnSysCommand(int id) {
    switch (id & 0xFFF0) {
        case IDM_ABOUTBOX: {
            CAboutDlg about(this);
            about.exec();
            break;
        }
        case ID_SYS_CONFIGURE:
            RunConfiguration();
            break;
        default:
            break;
    }
}

void CLauncherDlg::RunConfiguration() {
    CConfigDlg dialog(&m_settings, m_registry, this);
    const int result = dialog.DoModal();
    if (result == res::IDOK && !dialog.GetSaveError().isEmpty()) {
        Log(dialog.GetSaveError());
    } else if (result == res::IDOK) {
        for (const QString& warning : dialog.GetWriteWarnings())
            Log(warning);
        Log(QStringLiteral("Configuration changes saved."));
    } else if (result == res::IDCANCEL) {
        Log(QStringLiteral("Configuration changes discarded."));
    }
}

void CLauncherDlg::SetBusy(bool busy) {
    if (busy == m_busy) {
        return;
    }
    m_busy = busy;
    if (busy) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        QApplication::restoreOverrideCursor();
    }
}

void CLauncherDlg::keyPressEvent(QKeyEvent* event) {
    // Enter closes the window as Esc does; the window has no default button for it to press.
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if (enter && modifiers == Qt::NoModifier) {
        accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CLauncherDlg::accept() {
    if (m_flowRunning) {
        m_closeRequested = true;
        return;
    }
    QDialog::accept();
}

void CLauncherDlg::reject() {
    // Closing while the flow runs takes effect when the flow has ended, so a download or an
    // extraction is never cut off halfway.
    if (m_flowRunning) {
        m_closeRequested = true;
        return;
    }
    QDialog::reject();
}

}  // namespace torv
