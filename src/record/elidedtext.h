#pragma once
// One line of text in a cell: a text too wide for its cell keeps its start and is cut at
// the right with an ellipsis, whatever its alignment, and stays inside the cell.

#include <QRectF>
#include <QString>

class QPainter;

namespace sorrel {

void drawElidedText(QPainter &painter, const QRectF &cell, Qt::Alignment alignment, const QString &text);

} // namespace sorrel
