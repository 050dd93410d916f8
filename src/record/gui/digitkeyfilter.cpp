#include "record/gui/digitkeyfilter.h"

#include <QKeyEvent>

namespace sorrel {

bool RecordSITimeKeyPress(const QKeyEvent &event)
{
    if (event.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return false;
    const QString text = event.text();
    if (text.isEmpty())
        return false;
    for (QChar c : text)
        if (c.unicode() >= 0x20 && c.unicode() != 0x7f && !(c >= u'0' && c <= u'9'))
            return true;
    return false;
}

bool DigitKeyFilter::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress && RecordSITimeKeyPress(*static_cast<QKeyEvent *>(event)))
        return true;
    return QObject::eventFilter(watched, event);
}

} // namespace sorrel
