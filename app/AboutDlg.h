// The about box: name, version and the command-line usage.
#pragma once

#include <QDialog>

namespace torv {

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};

}  // namespace torv
