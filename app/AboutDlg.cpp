#include "app/AboutDlg.h"

#include <QLabel>
#include <QPushButton>

#include "res/DialogBuilder.h"
#include "res/Strings.h"

namespace torv {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    res::BuildDialog(*this, res::IDD_ABOUTBOX);
    if (auto* version = qobject_cast<QLabel*>(res::DialogControl(*this, res::IDC_VERSION))) {
        version->setText(QStringLiteral("v") + res::String(res::IDS_VERSION));
    }
    if (auto* ok = qobject_cast<QPushButton*>(res::DialogControl(*this, res::IDOK))) {
        connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    }
}

}  // namespace torv
