#pragma once
// The two kinds of control the record panel and the chart toolbar share.

#include "record/gui/recordicons.h"

#include <QRect>

class QLineEdit;
class QToolButton;
class QWidget;

namespace sorrel {

// A flat picture button that takes no focus.
QToolButton *pictureButton(QWidget *parent, const char *name, RecordIcon icon, const char *hint, QRect geometry);
// An edit on silver with no text margins.
QLineEdit *silverEdit(QWidget *parent, const char *name, const QString &text, QRect geometry);

} // namespace sorrel
