#include "record/gui/recordwidgets.h"

#include <QLineEdit>
#include <QToolButton>

namespace sorrel {

QToolButton *pictureButton(QWidget *parent, const char *name, RecordIcon icon, const char *hint, QRect geometry)
{
    auto *b = new QToolButton(parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setIcon(recordIcon(icon));
    b->setToolTip(QString::fromLatin1(hint));
    b->setGeometry(geometry);
    b->setFocusPolicy(Qt::NoFocus);
    return b;
}

QLineEdit *silverEdit(QWidget *parent, const char *name, const QString &text, QRect geometry)
{
    auto *e = new QLineEdit(parent);
    e->setObjectName(QString::fromLatin1(name));
    e->setText(text);
    e->setGeometry(geometry);
    QPalette pal = e->palette();
    pal.setColor(QPalette::Base, QColor(192, 192, 192));
    e->setPalette(pal);
    e->setTextMargins(0, 0, 0, 0);
    return e;
}

} // namespace sorrel
