// Makes a dialog's child widgets from its template: dialog units become pixels through the
// dialog font's average character width and height, as Windows converts them.
#pragma once

#include <QPoint>
#include <QRect>
#include <QString>
#include <functional>

#include "res/DialogTemplates.h"

class QDialog;
class QFont;
class QWidget;

namespace torv::res {

// Builds a control that the caller makes itself (an owner-drawn list, say); null builds the
// ordinary widget for the template.
using ControlFactory = std::function<QWidget*(const ControlTemplate&, QWidget* parent)>;

// Sets the caption, font and fixed size of the dialog and creates its controls, each named by
// ControlName(id). False when the template id is unknown.
bool BuildDialog(QDialog& dialog, int templateId, const ControlFactory& factory = {});

QString ControlName(int id);
// The control of that id inside a built dialog, or null.
QWidget* DialogControl(const QWidget& dialog, int id);

QRect DialogUnitsToPixels(const QFont& font, const QRect& units);

}  // namespace torv::res
