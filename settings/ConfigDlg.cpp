#include "settings/ConfigDlg.h"

#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "platform/WineRegistry.h"
#include "res/DialogBuilder.h"
#include "res/Strings.h"
#include "settings/GameDiscovery.h"
#include "settings/LauncherSettings.h"
#include "sitelist/ListWidgetItems.h"
#include "sitelist/SiteListBox.h"

namespace torv {

namespace {

// Item data of an application row: its entry index, and its check state as the three-state
// cycle knows it (Qt cycles through the states in another order).
constexpr int kEntryRole = Qt::UserRole;
constexpr int kStateRole = Qt::UserRole + 1;

Qt::CheckState toQt(int state) {
    switch (state) {
        case CHECK_CHECKED:
            return Qt::Checked;
        case CHECK_INDETERMINATE:
            return Qt::PartiallyChecked;
        default:
            return Qt::Unchecked;
    }
}

}  // namespace

const QString CConfigDlg::kDefaultSite =
    QStringLiteral("http://missions.example.com/descent3/levels/");

CConfigDlg::CConfigDlg(CLauncherSettings* pSettings, platform::WineRegistry& registry,
                       QWidget* parent)
    : QDialog(parent), m_pSettings(pSettings), m_registry(registry), m_frontEnds(registry) {
    Build(nullptr, true);
}

CConfigDlg::CConfigDlg(CLauncherSettings* pSettings, platform::WineRegistry& registry,
                       ISiteChecker* checker, QWidget* parent)
    : QDialog(parent), m_pSettings(pSettings), m_registry(registry), m_frontEnds(registry) {
    Build(checker, false);
}

CConfigDlg::~CConfigDlg() = default;

void CConfigDlg::Build(ISiteChecker* checker, bool ownChecker) {
    res::BuildDialog(*this, res::IDD_CONFIG,
                     [&](const res::ControlTemplate& control, QWidget* parent) -> QWidget* {
                         if (control.id != res::IDC_SITELIST) {
                             return nullptr;
                         }
                         return ownChecker ? new CSiteListBox(parent)
                                           : new CSiteListBox(checker, parent);
                     });
    m_keepAliveCheck = qobject_cast<QCheckBox*>(res::DialogControl(*this, res::IDC_KEEPALIVE));
    m_siteList = qobject_cast<CSiteListBox*>(res::DialogControl(*this, res::IDC_SITELIST));
    m_appList = qobject_cast<QListWidget*>(res::DialogControl(*this, res::IDC_APPLIST));
    m_pathEdit = qobject_cast<QLineEdit*>(res::DialogControl(*this, res::IDC_D3PATH));
    m_okButton = qobject_cast<QPushButton*>(res::DialogControl(*this, res::IDOK));
    m_browseButton = qobject_cast<QPushButton*>(res::DialogControl(*this, res::IDC_BROWSE));
    auto* cancel = qobject_cast<QPushButton*>(res::DialogControl(*this, res::IDCANCEL));

    connect(m_okButton, &QPushButton::clicked, this, &CConfigDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CConfigDlg::reject);
    connect(m_browseButton, &QPushButton::clicked, this, &CConfigDlg::OnBrowse);
    connect(m_appList, &QListWidget::itemChanged, this, &CConfigDlg::OnItemChanged);
}

int CConfigDlg::DoModal() {
    return exec() == QDialog::Accepted ? res::IDOK : res::IDCANCEL;
}

void CConfigDlg::setVisible(bool visible) {
    if (visible && !m_initialized) {
        m_initialized = true;
        OnInitDialog();
    }
    QDialog::setVisible(visible);
}

void CConfigDlg::OnInitDialog() {
    for (int i = 0; i < m_pSettings->GetSiteCount(); ++i) {
        m_siteList->AppendSite(m_pSettings->GetSite(i));
    }
    AddKquery4Entry();
    AddKali95Entries();
    ShowGameFolder(m_pSettings->GetGameFolder());
    m_keepAliveCheck->setChecked(m_pSettings->GetKeepAlive() != 0);
    if (m_pSettings->IsFirstRun()) {
        if (CListWidgetItems(m_siteList).FindString(kDefaultSite) == LB_ERR) {
            m_siteList->AppendSite(kDefaultSite);
        }
    }
    m_siteList->setToolTip(res::String(res::IDS_SITELIST_TIP));
}

void CConfigDlg::AddKquery4Entry() {
    AddRows(m_frontEnds.AddKquery4Entry());
}

void CConfigDlg::AddKali95Entries() {
    AddRows(m_frontEnds.AddKali95Entries());
}

void CConfigDlg::AddRows(const QList<int>& entries) {
    for (const int index : entries) {
        auto* item = new QListWidgetItem(m_frontEnds.GetEntry(index).rowText);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable |
                       Qt::ItemIsUserTristate);
        item->setData(kEntryRole, index);
        item->setData(kStateRole, CHECK_UNCHECKED);
        item->setCheckState(Qt::Unchecked);
        m_appList->addItem(item);
        SetEntryCheck(m_appList->row(item));
    }
}

void CConfigDlg::SetEntryCheck(int row) {
    const int index = GetEntryIndex(row);
    if (index < 0) {
        return;
    }
    SetCheck(row, CFrontEnds::CheckStateFor(m_frontEnds.GetEntry(index).executable));
}

int CConfigDlg::GetEntryIndex(int row) const {
    const QListWidgetItem* item = m_appList->item(row);
    return item != nullptr ? item->data(kEntryRole).toInt() : -1;
}

int CConfigDlg::GetCheck(int row) const {
    const QListWidgetItem* item = m_appList->item(row);
    return item != nullptr ? item->data(kStateRole).toInt() : 0;
}

void CConfigDlg::SetCheck(int row, int state) {
    QListWidgetItem* item = m_appList->item(row);
    if (item == nullptr || state < CHECK_UNCHECKED || state > CHECK_INDETERMINATE) {
        return;
    }
    const bool wasSetting = std::exchange(m_settingCheck, true);
    item->setData(kStateRole, state);
    item->setCheckState(toQt(state));
    m_settingCheck = wasSetting;
}

void CConfigDlg::OnItemChanged(QListWidgetItem* item) {
    if (m_settingCheck) {
        return;
    }
    const int row = m_appList->row(item);
    const int known = item->data(kStateRole).toInt();
    if (item->checkState() == toQt(known)) {
        return;  // some other change of the row
    }
    // A click or the space bar: the automatic three-state cycle, unchecked, checked,
    // indeterminate, whatever order Qt's own cycle has.
    SetCheck(row, (known + 1) % 3);
    OnCheckChange(row);
}

void CConfigDlg::OnCheckChange(int row) {
    if (GetCheck(row) == CHECK_INDETERMINATE) {
        SetCheck(row, CHECK_UNCHECKED);
    }
}

void CConfigDlg::ShowGameFolder(const QString& folder) {
    const bool valid = IsValidGameFolder(folder);
    m_shownFolder = folder;
    m_pathEdit->setText(valid ? folder : res::String(res::IDS_INVALID_D3_PATH));
    // A long path shows its end, where the game's own folder is named.
    m_pathEdit->setCursorPosition(int(m_pathEdit->text().size()));
    m_pathEdit->setToolTip(valid ? folder : QString());
    m_okButton->setEnabled(valid);
    for (int row = 0; row < m_appList->count(); ++row) {
        QListWidgetItem* item = m_appList->item(row);
        const bool wasSetting = std::exchange(m_settingCheck, true);
        item->setFlags(valid ? item->flags() | Qt::ItemIsEnabled
                             : item->flags() & ~Qt::ItemIsEnabled);
        m_settingCheck = wasSetting;
    }
}

QString CConfigDlg::BrowseStartFolder() const {
    if (!m_shownFolder.isEmpty() && QFileInfo(m_shownFolder).isDir()) {
        return m_shownFolder;
    }
    const QString driveC = m_registry.prefixPath() + QStringLiteral("/drive_c");
    if (QFileInfo(driveC).isDir()) {
        return driveC;
    }
    return QDir::homePath();
}

QString CConfigDlg::ChooseFileDefault(QWidget* parent) const {
    QFileDialog dialog(parent);
    // Qt's own dialog, so that hidden folders such as ~/.wine are always listed.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFilter(dialog.filter() | QDir::Hidden);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setDirectory(BrowseStartFolder());
    dialog.setNameFilter(QStringLiteral("Descent 3 Executable (main.exe Descent3.exe Descent3)"));
    dialog.setDefaultSuffix(QStringLiteral("exe"));
    dialog.selectFile(QStringLiteral("main.exe"));
    if (dialog.exec() != QDialog::Accepted) {
        return QString();
    }
    return dialog.selectedFiles().value(0);
}

void CConfigDlg::OnBrowse() {
    const QString chosen = m_chooseFile ? m_chooseFile(this) : ChooseFileDefault(this);
    if (chosen.isEmpty()) {
        return;
    }
    QString folder = chosen;
    qsizetype start = 0;
    while (start < folder.size() && folder.at(start).isSpace()) {
        ++start;
    }
    folder = folder.mid(start);
    folder.truncate(folder.lastIndexOf(QLatin1Char('/')) + 1);
    qsizetype end = folder.size();
    while (end > 0 && folder.at(end - 1).isSpace()) {
        --end;
    }
    folder.truncate(end);
    ShowGameFolder(folder);
}

void CConfigDlg::accept() {
    // Enter must not save while the folder is unusable.
    if (!m_okButton->isEnabled()) {
        return;
    }
    OnOK();
}

void CConfigDlg::reject() {
    OnCancel();
}

void CConfigDlg::OnOK() {
    // A site still open in the editor counts as typed.
    m_siteList->EndEdit(true);

    m_pSettings->SetGameFolder(m_pathEdit->text());
    m_pSettings->ClearSites();
    for (const QString& site : m_siteList->Sites()) {
        m_pSettings->AddSite(site);
    }
    m_pSettings->SetKeepAlive(m_keepAliveCheck->isChecked() ? 1 : 0);

    m_writeWarnings.clear();
    m_saveError.clear();
    QString reason;
    if (!m_pSettings->Save(&reason)) {
        // The front ends would start this tool with settings it does not have.
        m_saveError = QStringLiteral("ERROR: Configuration could not be saved to [%1]: %2.")
                          .arg(m_pSettings->GetSavePath(), reason);
        QDialog::accept();
        return;
    }
    const QString gameFolder = m_pSettings->GetGameFolder();
    for (int row = 0; row < m_appList->count(); ++row) {
        const int index = GetEntryIndex(row);
        const auto result = m_frontEnds.WriteEntry(index, GetCheck(row), gameFolder);
        const QString warning = m_frontEnds.WarningFor(index, result);
        if (!warning.isEmpty()) {
            m_writeWarnings.append(warning);
        }
    }
    QDialog::accept();
}

void CConfigDlg::OnCancel() {
    QDialog::reject();
}

}  // namespace torv
