#pragma once
// Seven-segment glyphs of the LCD digit font: which segments a glyph lights, and a
// painter that draws them. Texts that are not glyphs are drawn as plain text.

#include <QColor>
#include <QFont>
#include <QPainterPath>
#include <QRectF>
#include <QString>
#include <cstdint>
#include <optional>

class QPainter;

namespace sorrel {

// Segments a (top) to g (middle), clockwise from the top as on a meter's data sheet.
enum Segment : std::uint8_t {
    SegA = 1u << 0,
    SegB = 1u << 1,
    SegC = 1u << 2,
    SegD = 1u << 3,
    SegE = 1u << 4,
    SegF = 1u << 5,
    SegG = 1u << 6,
};
using SegmentMask = std::uint8_t;
inline constexpr int kSegmentCount = 7;

// The segments a glyph lights: "0"-"9", "@" (the L of an overload), "u", "s", "b";
// the empty text is a blank digit (no segment). Anything else is not a glyph.
std::optional<SegmentMask> glyphSegments(QStringView glyph);

struct SevenSegmentStyle {
    QColor ink = Qt::black;
    qreal slantDegrees = 5; // 0: upright segments
    qreal thickness = 0.14; // stroke, as a part of the cell height
    qreal gap = 0.018;      // between neighbouring segments, as a part of the cell height
};

// The outline of the given segments drawn into cell (a slanted glyph leans within it).
QPainterPath sevenSegmentPath(const QRectF &cell, SegmentMask segments, const SevenSegmentStyle &style = {});

// Draws text into cell: segments for a glyph; otherwise the text itself in textFont,
// on the cell's baseline (the bottom edge), so that odd texts still show.
void paintSevenSegmentText(QPainter &p, const QRectF &cell, const QString &text, const SevenSegmentStyle &style,
                           const QFont &textFont);

} // namespace sorrel
