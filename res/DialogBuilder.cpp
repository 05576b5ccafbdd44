#include "res/DialogBuilder.h"

#include <QCheckBox>
#include <QDialog>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <algorithm>
#include <vector>

#include "res/Icons.h"

namespace torv::res {
namespace {

QFont dialogFont(const DialogTemplate& dialog) {
    QFont font;
    // The template's face is rarely installed outside Windows; the fallbacks keep its metrics
    // close.
    font.setFamilies({QString::fromLatin1(dialog.fontFamily),
                      QStringLiteral("Microsoft Sans Serif"), QStringLiteral("DejaVu Sans"),
                      QStringLiteral("Sans Serif")});
    font.setPointSize(dialog.fontPointSize);
    return font;
}

QWidget* makeControl(const ControlTemplate& control, QWidget* parent) {
    const QString text = QString::fromUtf8(control.text);
    switch (control.kind) {
        case ControlKind::Static: {
            auto* label = new QLabel(text, parent);
            label->setTextFormat(Qt::PlainText);
            return label;
        }
        case ControlKind::Icon: {
            auto* label = new QLabel(parent);
            label->setPixmap(AppIcon().pixmap(32, 32));
            return label;
        }
        case ControlKind::Edit: {
            auto* edit = new QLineEdit(text, parent);
            edit->setReadOnly((control.style & StyleReadOnly) != 0);
            return edit;
        }
        case ControlKind::PushButton:
        case ControlKind::DefaultPushButton: {
            auto* button = new QPushButton(text, parent);
            // A focused button takes Return itself; elsewhere Return goes to the default button.
            button->setAutoDefault(true);
            button->setDefault(control.kind == ControlKind::DefaultPushButton);
            return button;
        }
        case ControlKind::CheckBox:
            return new QCheckBox(text, parent);
        case ControlKind::GroupBox:
            return new QGroupBox(text, parent);
        case ControlKind::ListBox: {
            auto* list = new QListWidget(parent);
            list->setSortingEnabled((control.style & StyleSorted) != 0);
            if ((control.style & StyleNoSelection) != 0) {
                list->setSelectionMode(QAbstractItemView::NoSelection);
                list->setFocusPolicy(Qt::NoFocus);
            }
            list->setVerticalScrollBarPolicy((control.style & StyleVScroll) != 0
                                                 ? Qt::ScrollBarAsNeeded
                                                 : Qt::ScrollBarAlwaysOff);
            list->setHorizontalScrollBarPolicy((control.style & StyleHScroll) != 0
                                                   ? Qt::ScrollBarAsNeeded
                                                   : Qt::ScrollBarAlwaysOff);
            return list;
        }
    }
    return nullptr;
}

}  // namespace

QRect DialogUnitsToPixels(const QFont& font, const QRect& units) {
    const QFontMetrics metrics(font);
    static const QString kAlphabet =
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const int baseX = (metrics.horizontalAdvance(kAlphabet) / 26 + 1) / 2;
    const int baseY = metrics.height();
    auto scaleX = [&](int v) { return (v * baseX + 2) / 4; };
    auto scaleY = [&](int v) { return (v * baseY + 4) / 8; };
    return QRect(scaleX(units.x()), scaleY(units.y()), scaleX(units.width()),
                 scaleY(units.height()));
}

QString ControlName(int id) {
    return QStringLiteral("ctl%1").arg(id);
}

QWidget* DialogControl(const QWidget& dialog, int id) {
    return dialog.findChild<QWidget*>(ControlName(id));
}

bool BuildDialog(QDialog& dialog, int templateId, const ControlFactory& factory) {
    const DialogTemplate* tmpl = Dialog(templateId);
    if (tmpl == nullptr) {
        return false;
    }
    const QFont font = dialogFont(*tmpl);
    dialog.setFont(font);
    dialog.setWindowTitle(QString::fromUtf8(tmpl->caption));
    QSize size = DialogUnitsToPixels(font, QRect(0, 0, tmpl->width, tmpl->height)).size();
    const int margin = DialogUnitsToPixels(font, QRect(0, 0, 7, 0)).width();
    std::vector<QWidget*> groups;
    int overflow = 0;
    for (const ControlTemplate& control : tmpl->controls) {
        QWidget* widget = factory ? factory(control, &dialog) : nullptr;
        if (widget == nullptr) {
            widget = makeControl(control, &dialog);
        }
        if (control.id != IDC_STATIC) {
            widget->setObjectName(ControlName(control.id));
        }
        QRect place =
            DialogUnitsToPixels(font, QRect(control.x, control.y, control.width, control.height));
        // The template was laid out for a narrower face than most systems have: a text that no
        // longer fits takes the room it needs, and the dialog widens with it.
        if (control.kind == ControlKind::Static || control.kind == ControlKind::CheckBox) {
            place.setWidth(std::max(place.width(), widget->sizeHint().width()));
            overflow = std::max(overflow, place.right() + 1 + margin - size.width());
        }
        if (control.kind == ControlKind::GroupBox) {
            groups.push_back(widget);
        }
        widget->setGeometry(place);
        if ((control.style & StyleTabStop) == 0 && control.kind != ControlKind::ListBox) {
            widget->setFocusPolicy(Qt::NoFocus);
        }
    }
    if (overflow > 0) {
        size.rwidth() += overflow;
        for (QWidget* group : groups)
            group->resize(group->width() + overflow, group->height());
    }
    dialog.setFixedSize(size);
    return true;
}

}  // namespace torv::res
