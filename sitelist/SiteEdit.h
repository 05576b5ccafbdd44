// The in-place editor of the site list. Enter and Esc hand the focus back to the list (Esc
// marks the edit as discarded); losing the focus is what ends an edit.
#pragma once

#include <QLineEdit>

namespace torv {

class CSiteEdit : public QLineEdit {
    Q_OBJECT
public:
    // focusTarget: the list that takes the focus back on Enter and Esc.
    CSiteEdit(QWidget* focusTarget, QWidget* parent);

    // The text as confirmed: an address typed or pasted behind the pre-filled "http://" loses
    // that doubled prefix.
    QString ConfirmedText() const;

    bool m_bCancel = false;

signals:
    void KillFocus();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    QWidget* m_focusTarget;  // not owned
};

}  // namespace torv
