// The configuration dialog: the game folder (chosen with Browse), the ordered mission sites, the
// front ends that start this tool instead of the game, and Keep Alive. OK saves the settings and
// rewrites every front end's launch settings; Cancel leaves everything as it was.
#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

#include "settings/FrontEnds.h"

class QCheckBox;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace torv {

class CLauncherSettings;
class CSiteListBox;
class ISiteChecker;

namespace platform {
class WineRegistry;
}

class CConfigDlg : public QDialog {
    Q_OBJECT
public:
    // Asks the user for the game's executable: the chosen file's full path, empty on cancel.
    using FileChooser = std::function<QString(QWidget* parent)>;

    // Added on the first run unless a site already begins with it.
    static const QString kDefaultSite;

    // settings and registry are the caller's and must outlive the dialog. The site list checks
    // its sites on its own worker thread.
    CConfigDlg(CLauncherSettings* pSettings, platform::WineRegistry& registry,
               QWidget* parent = nullptr);
    // The site list posts its checks to checker instead (not owned; null: never checked).
    CConfigDlg(CLauncherSettings* pSettings, platform::WineRegistry& registry,
               ISiteChecker* checker, QWidget* parent);
    ~CConfigDlg() override;

    // Runs the dialog modally: res::IDOK or res::IDCANCEL.
    int DoModal();

    // Seams: the file dialog's answer, and the executable written for rows that start this tool.
    void SetFileChooser(FileChooser chooser) { m_chooseFile = std::move(chooser); }
    void SetOwnExecutable(const QString& path) { m_frontEnds.SetOwnExecutable(path); }

    // After OK: one log line for each front end whose launch settings could not be written as
    // its row asked; empty when every row was written.
    const QStringList& GetWriteWarnings() const { return m_writeWarnings; }
    // After OK: the log line of a save that failed (the front ends are then left alone); empty
    // when the settings were saved.
    const QString& GetSaveError() const { return m_saveError; }

    // Check states of the application rows, 0 unchecked, 1 checked, 2 indeterminate.
    int GetCheck(int row) const;
    void SetCheck(int row, int state);
    // The entry a row shows.
    int GetEntryIndex(int row) const;

    CSiteListBox* SiteList() const { return m_siteList; }
    QListWidget* AppList() const { return m_appList; }
    QLineEdit* PathEdit() const { return m_pathEdit; }
    QCheckBox* KeepAliveCheck() const { return m_keepAliveCheck; }
    QPushButton* OkButton() const { return m_okButton; }
    QPushButton* BrowseButton() const { return m_browseButton; }

    void setVisible(bool visible) override;

public slots:
    void accept() override;
    void reject() override;

protected:
    // Runs once, before the dialog first shows.
    virtual void OnInitDialog();
    void OnBrowse();
    void OnCheckChange(int row);
    void OnOK();
    void OnCancel();

private:
    void Build(ISiteChecker* checker, bool ownChecker);
    void AddKquery4Entry();
    void AddKali95Entries();
    void AddRows(const QList<int>& entries);
    void SetEntryCheck(int row);
    void ShowGameFolder(const QString& folder);
    void OnItemChanged(QListWidgetItem* item);
    QString ChooseFileDefault(QWidget* parent) const;
    QString BrowseStartFolder() const;

    QCheckBox* m_keepAliveCheck = nullptr;
    CSiteListBox* m_siteList = nullptr;
    QListWidget* m_appList = nullptr;
    QLineEdit* m_pathEdit = nullptr;
    QPushButton* m_okButton = nullptr;
    QPushButton* m_browseButton = nullptr;
    CLauncherSettings* m_pSettings;
    const platform::WineRegistry& m_registry;
    CFrontEnds m_frontEnds;
    QString m_shownFolder;  // the folder last given to the edit box, usable or not

    FileChooser m_chooseFile;
    QStringList m_writeWarnings;
    QString m_saveError;
    bool m_initialized = false;
    bool m_settingCheck = false;
};

}  // namespace torv
