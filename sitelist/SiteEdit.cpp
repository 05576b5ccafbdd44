#include "sitelist/SiteEdit.h"

#include <QFocusEvent>
#include <QKeyEvent>

namespace torv {

CSiteEdit::CSiteEdit(QWidget* focusTarget, QWidget* parent)
    : QLineEdit(parent), m_focusTarget(focusTarget) {
    hide();
}

QString CSiteEdit::ConfirmedText() const {
    const QString typed = text().trimmed();
    const QString prefill = QStringLiteral("http://");
    if (!typed.startsWith(prefill)) {
        return typed;
    }
    const QString rest = typed.mid(prefill.size()).trimmed();
    if (rest.startsWith(QLatin1String("http://"), Qt::CaseInsensitive) ||
        rest.startsWith(QLatin1String("https://"), Qt::CaseInsensitive)) {
        return rest;
    }
    return typed;
}

void CSiteEdit::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Escape:
            m_bCancel = true;
            m_focusTarget->setFocus(Qt::OtherFocusReason);
            event->accept();  // never reaches the dialog (it would close)
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            m_focusTarget->setFocus(Qt::OtherFocusReason);
            event->accept();  // never reaches the dialog's default button
            return;
        default:
            QLineEdit::keyPressEvent(event);
    }
}

void CSiteEdit::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    m_bCancel = false;
}

void CSiteEdit::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    // The editor's own context menu and a trip to another window leave the edit open; on return
    // the focus comes back to it.
    if (event->reason() == Qt::PopupFocusReason || event->reason() == Qt::ActiveWindowFocusReason) {
        return;
    }
    emit KillFocus();
}

}  // namespace torv
