#include "display/sevensegment.h"

#include <QPainter>
#include <QTransform>
#include <cmath>

namespace sorrel {

std::optional<SegmentMask> glyphSegments(QStringView glyph)
{
    if (glyph.isEmpty())
        return SegmentMask(0);
    if (glyph.size() != 1)
        return std::nullopt;
    switch (glyph.front().unicode()) {
    case '0':
        return SegA | SegB | SegC | SegD | SegE | SegF;
    case '1':
        return SegB | SegC;
    case '2':
        return SegA | SegB | SegD | SegE | SegG;
    case '3':
        return SegA | SegB | SegC | SegD | SegG;
    case '4':
        return SegB | SegC | SegF | SegG;
    case '5':
        return SegA | SegC | SegD | SegF | SegG;
    case '6':
        return SegA | SegC | SegD | SegE | SegF | SegG;
    case '7':
        return SegA | SegB | SegC;
    case '8':
        return SegA | SegB | SegC | SegD | SegE | SegF | SegG;
    case '9':
        return SegA | SegB | SegC | SegD | SegF | SegG;
    case '@':
        return SegD | SegE | SegF;
    case 'u':
        return SegC | SegD | SegE;
    case 's':
        return SegA | SegC | SegD | SegF | SegG;
    case 'b':
        return SegC | SegD | SegE | SegF | SegG;
    default:
        return std::nullopt;
    }
}

namespace {

// Hexagonal bars with pointed ends, so that neighbours meet on a mitre.
QPolygonF horizontalBar(qreal x1, qreal x2, qreal yc, qreal t)
{
    const qreal h = t / 2;
    return QPolygonF({{x1, yc}, {x1 + h, yc - h}, {x2 - h, yc - h}, {x2, yc}, {x2 - h, yc + h}, {x1 + h, yc + h}});
}

QPolygonF verticalBar(qreal xc, qreal y1, qreal y2, qreal t)
{
    const qreal h = t / 2;
    return QPolygonF({{xc, y1}, {xc + h, y1 + h}, {xc + h, y2 - h}, {xc, y2}, {xc - h, y2 - h}, {xc - h, y1 + h}});
}

} // namespace

QPainterPath sevenSegmentPath(const QRectF &cell, SegmentMask segments, const SevenSegmentStyle &style)
{
    QPainterPath path;
    path.setFillRule(Qt::WindingFill);
    if (!segments || cell.isEmpty())
        return path;

    // Lean the glyph about its baseline; the upright glyph is narrowed so the leaning
    // top still fits the cell.
    const qreal shear = std::tan(style.slantDegrees * M_PI / 180.0);
    const qreal h = cell.height();
    const qreal w = std::max<qreal>(1, cell.width() - shear * h);
    const qreal t = std::max<qreal>(1, style.thickness * h);
    const qreal g = style.gap * h;
    const qreal ht = t / 2;

    const qreal left = ht, right = w - ht;
    const qreal top = ht, mid = h / 2, bottom = h - ht;
    const struct {
        Segment seg;
        QPolygonF shape;
    } bars[] = {
        {SegA, horizontalBar(left + g, right - g, top, t)}, {SegB, verticalBar(right, top + g, mid - g, t)},
        {SegC, verticalBar(right, mid + g, bottom - g, t)}, {SegD, horizontalBar(left + g, right - g, bottom, t)},
        {SegE, verticalBar(left, mid + g, bottom - g, t)},  {SegF, verticalBar(left, top + g, mid - g, t)},
        {SegG, horizontalBar(left + g, right - g, mid, t)},
    };
    for (const auto &bar : bars)
        if (segments & bar.seg)
            path.addPolygon(bar.shape), path.closeSubpath();

    // x' = x + shear * (h - y): the baseline stays put, the top moves right.
    const QTransform m(1, 0, -shear, 1, cell.left() + shear * h, cell.top());
    return m.map(path);
}

void paintSevenSegmentText(QPainter &p, const QRectF &cell, const QString &text, const SevenSegmentStyle &style,
                           const QFont &textFont)
{
    if (const auto segments = glyphSegments(text)) {
        if (*segments) {
            p.save();
            p.setRenderHint(QPainter::Antialiasing);
            p.setPen(Qt::NoPen);
            p.setBrush(style.ink);
            p.drawPath(sevenSegmentPath(cell, *segments, style));
            p.restore();
        }
        return;
    }
    p.save();
    p.setFont(textFont);
    p.setPen(style.ink);
    p.drawText(QPointF(cell.left(), cell.bottom()), text);
    p.restore();
}

} // namespace sorrel
