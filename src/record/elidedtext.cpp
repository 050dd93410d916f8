#include "record/elidedtext.h"

#include <QFontMetricsF>
#include <QPainter>

namespace sorrel {

void drawElidedText(QPainter &painter, const QRectF &cell, Qt::Alignment alignment, const QString &text)
{
    // Metrics of the painter's device: a PDF page measures text otherwise than the screen.
    const QFontMetricsF metrics(painter.font(), painter.device());
    if (metrics.horizontalAdvance(text) <= cell.width()) {
        painter.drawText(cell, int(alignment), text);
        return;
    }
    const QString shown = metrics.elidedText(text, Qt::ElideRight, cell.width());
    painter.drawText(cell, int((alignment & Qt::AlignVertical_Mask) | Qt::AlignLeft), shown);
}

} // namespace sorrel
