#include "link/gui/clickablepanel.h"

#include <QMouseEvent>

namespace sorrel {

ClickablePanel::ClickablePanel(const QString &caption, QWidget *parent) : QLabel(caption, parent)
{
    setFrameStyle(QFrame::Panel | QFrame::Raised);
    setLineWidth(1);
    setAlignment(Qt::AlignCenter);
    setCursor(Qt::PointingHandCursor);
}

void ClickablePanel::mousePressEvent(QMouseEvent *event)
{
    pressed_ = event->button() == Qt::LeftButton;
    QLabel::mousePressEvent(event);
}

void ClickablePanel::mouseReleaseEvent(QMouseEvent *event)
{
    const bool click = pressed_ && event->button() == Qt::LeftButton
                       && rect().contains(event->position().toPoint());
    pressed_ = false;
    QLabel::mouseReleaseEvent(event);
    if (click && isEnabled())
        Q_EMIT clicked();
}

} // namespace sorrel
