#include "display/lcdpanelpainter.h"

#include "display/sevensegment.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

namespace sorrel {

namespace {

struct Place {
    Ind id;
    QRect rect;
};

// Word sizes follow the captions in the word face; pictures have their stated sizes.
const Place kPlaces[] = {
    {Ind::LcdDa, {24, 4, 85, 170}},    {Ind::LcdDb, {104, 4, 85, 170}}, {Ind::LcdDc, {192, 4, 85, 170}},
    {Ind::LcdDd, {274, 4, 85, 170}},   {Ind::LcdP1, {89, 129, 7, 8}},   {Ind::LcdP2, {176, 129, 7, 7}},
    {Ind::LcdP3, {260, 129, 7, 8}},    {Ind::LCDHold, {8, -5, 24, 35}}, {Ind::p_off, {32, -1, 33, 34}},
    {Ind::MAX, {70, 10, 38, 16}},      {Ind::MIN, {110, 10, 38, 16}},   {Ind::REL, {152, 10, 38, 16}},
    {Ind::perecent, {192, 8, 33, 17}}, {Ind::auto_, {240, 8, 44, 18}},  {Ind::Z, {312, 6, 16, 24}},
    {Ind::o1, {328, 8, 16, 22}},       {Ind::o2, {344, 8, 16, 22}},     {Ind::o3, {360, 8, 16, 22}},
    {Ind::o4, {376, 8, 16, 22}},       {Ind::FC, {352, 48, 41, 17}},    {Ind::LUX, {352, 72, 49, 25}},
    {Ind::X10, {350, 94, 44, 18}},     {Ind::CD, {352, 120, 33, 17}},   {Ind::usb1, {6, 171, 40, 18}},
    {Ind::power, {48, 162, 32, 29}},   {Ind::FULL, {80, 166, 41, 21}},  {Ind::loadNO, {118, 167, 88, 18}},
    {Ind::REC, {208, 167, 33, 23}},    {Ind::z4, {256, 168, 25, 17}},   {Ind::z3, {280, 168, 25, 17}},
    {Ind::z2, {304, 168, 25, 17}},     {Ind::z11, {336, 168, 25, 17}},  {Ind::t_p, {360, 160, 25, 33}},
    {Ind::PBar2, {0, 200, 398, 17}},
};

constexpr int kWordPixels = 15;

bool isMainDigit(Ind id)
{
    return id == Ind::LcdDa || id == Ind::LcdDb || id == Ind::LcdDc || id == Ind::LcdDd;
}

// The range figure reads as one line of small digits, so all five share a baseline.
QRect rangeGlyphCell(Ind id)
{
    const QRect r = lcdIndicatorRect(id);
    return {r.left() + 2, 10, 12, 18};
}

// Draws text at the left of rect, centred in height, its ink as tall as the panel's
// other small words and squeezed sideways when it would be too wide.
void drawFittedText(QPainter &p, const QRectF &rect, const QString &text, const QColor &ink)
{
    constexpr qreal kInkHeight = 13;
    QFont font = lcdWordFont(64);
    const QRectF ink0 = QFontMetricsF(font).tightBoundingRect(text);
    if (ink0.isEmpty())
        return;
    const qreal sy = std::min(rect.height() * 0.82, kInkHeight) / ink0.height();
    const qreal sx = std::min(sy, rect.width() * 0.85 / ink0.width());
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.translate(rect.left() + 2, rect.center().y());
    p.scale(sx, sy);
    p.translate(-ink0.left(), -ink0.center().y());
    QPainterPath path;
    path.addText(0, 0, font, text);
    p.fillPath(path, ink);
    p.restore();
}

void drawWord(QPainter &p, const QRect &rect, const QString &text, const QColor &ink)
{
    p.save();
    p.setFont(lcdWordFont(kWordPixels));
    p.setPen(ink);
    p.drawText(rect, Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip, text);
    p.restore();
}

void drawHold(QPainter &p, const QColor &ink)
{
    // A boxed H: the data-hold mark.
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(ink, 2));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(10, 4, 19, 19), 3, 3);
    p.restore();
    drawFittedText(p, QRectF(12, 6, 15, 15), QStringLiteral("H"), ink);
}

void drawPowerOff(QPainter &p, const QRect &r, const QColor &ink)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(ink, 2.5, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    const QPointF c(r.left() + 14, r.top() + 19);
    const qreal radius = 9;
    p.drawEllipse(c, radius, radius);
    const qreal a = M_PI / 4;
    const QPointF edge(c.x() + radius * std::cos(a), c.y() - radius * std::sin(a));
    p.drawLine(edge, QPointF(r.right() - 3, r.top() + 4));
    p.restore();
}

void drawPercent(QPainter &p, const QRect &r, const QColor &ink)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(ink, 2.2));
    p.setBrush(Qt::NoBrush);
    const QRectF box = QRectF(r).adjusted(9, 2.5, -9, -2.5);
    p.drawLine(QPointF(box.left() + 1, box.bottom()), QPointF(box.right() - 1, box.top()));
    p.drawEllipse(QRectF(box.left(), box.top(), 5, 5));
    p.drawEllipse(QRectF(box.right() - 5, box.bottom() - 5, 5, 5));
    p.restore();
}

void drawBattery(QPainter &p, const QRect &r, const QColor &ink)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(ink, 2));
    p.setBrush(Qt::NoBrush);
    const QRectF body(r.left() + 2, r.top() + 8, 24, 13);
    p.drawRect(body);
    p.fillRect(QRectF(body.right() + 1, body.top() + 3.5, 3, 6), ink);
    p.fillRect(QRectF(body.left() + 3, body.top() + 3, 5, 7), ink);
    p.restore();
}

void drawClock(QPainter &p, const QRect &r, const QColor &ink)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(ink, 2, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    const QPointF c(r.left() + 12.5, r.top() + 17);
    p.drawEllipse(c, 10, 10);
    p.drawLine(c, c + QPointF(0, -7));
    p.drawLine(c, c + QPointF(5, 0));
    p.restore();
}

void drawBar(QPainter &p, int position, const LcdPanelColours &c)
{
    const QRect r = lcdIndicatorRect(Ind::PBar2);
    p.fillRect(r, c.barTrough);
    // Sunken, like the progress bar window it stands for.
    p.setPen(c.bevelShadow);
    p.drawLine(r.topLeft(), r.topRight());
    p.drawLine(r.topLeft(), r.bottomLeft());
    p.setPen(c.bevelLight);
    p.drawLine(r.bottomLeft(), r.bottomRight());
    p.drawLine(r.topRight(), r.bottomRight());
    const QRect chunk = lcdBarChunk(position);
    if (!chunk.isEmpty())
        p.fillRect(chunk, c.barChunk);
}

void drawBevels(QPainter &p, const QRect &r, const LcdPanelColours &c)
{
    auto ring = [&](const QRect &q, const QColor &topLeft, const QColor &bottomRight) {
        p.setPen(topLeft);
        p.drawLine(q.topLeft(), q.topRight());
        p.drawLine(q.topLeft(), q.bottomLeft());
        p.setPen(bottomRight);
        p.drawLine(q.bottomLeft(), q.bottomRight());
        p.drawLine(q.topRight(), q.bottomRight());
    };
    ring(r, c.bevelLight, c.bevelShadow);                        // raised outer
    ring(r.adjusted(1, 1, -1, -1), c.bevelShadow, c.bevelLight); // lowered inner
}

} // namespace

QRect lcdIndicatorRect(Ind id)
{
    for (const Place &place : kPlaces)
        if (place.id == id)
            return place.rect;
    return {};
}

QRect lcdMainGlyphCell(Ind digit)
{
    if (!isMainDigit(digit))
        return {};
    const QRect box = lcdIndicatorRect(digit);
    // The glyph stands on the points' baseline (row 136) and leaves the top band to the words.
    return {box.left() + 8, box.top() + 26, 60, 107};
}

QRect lcdBarChunk(int position)
{
    const QRect inner = lcdIndicatorRect(Ind::PBar2).adjusted(1, 1, -1, -1);
    const int clamped = std::clamp(position, 0, kBarMaximum);
    const int width = int(std::lround(double(inner.width()) * clamped / kBarMaximum));
    return {inner.left(), inner.top(), width, inner.height()};
}

QFont lcdWordFont(int pixelSize)
{
    QFont font;
    font.setFamilies({QStringLiteral("Liberation Sans Narrow"), QStringLiteral("Arial Narrow"),
                      QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("Liberation Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelSize);
    font.setBold(true);
    return font;
}

void paintLcdPanel(QPainter &p, const LcdPanelState &state, const LcdPanelColours &c)
{
    const QRect panel(QPoint(0, 0), kLcdPanelSize);
    p.save();
    p.setClipRect(panel);
    p.fillRect(panel, c.background);
    drawBevels(p, panel, c);

    SevenSegmentStyle mainStyle;
    mainStyle.ink = c.ink;
    const QFont mainTextFont = lcdWordFont(150);
    for (Ind id : {Ind::LcdDa, Ind::LcdDb, Ind::LcdDc, Ind::LcdDd})
        paintSevenSegmentText(p, lcdMainGlyphCell(id), state.text(id), mainStyle, mainTextFont);

    for (Ind id : {Ind::LcdP1, Ind::LcdP2, Ind::LcdP3})
        if (state.isShown(id))
            p.fillRect(lcdIndicatorRect(id), c.ink);

    SevenSegmentStyle rangeStyle;
    rangeStyle.ink = c.windowText;
    rangeStyle.thickness = 0.16;
    rangeStyle.gap = 0.02;
    const QFont rangeTextFont = lcdWordFont(18);
    for (Ind id : {Ind::Z, Ind::o1, Ind::o2, Ind::o3, Ind::o4}) {
        if (!state.isShown(id))
            continue;
        const QString caption = id == Ind::Z ? QStringLiteral("2") : QStringLiteral("0");
        paintSevenSegmentText(p, rangeGlyphCell(id), caption, rangeStyle, rangeTextFont);
    }

    const struct {
        Ind id;
        const char *caption;
        bool windowText;
    } words[] = {
        {Ind::MAX, "MAX", false},        {Ind::MIN, "MIN", false},  {Ind::REL, "REL", true},
        {Ind::auto_, "Auto", true},      {Ind::X10, "x1 0", false}, {Ind::usb1, "USB", false},
        {Ind::loadNO, "LOAD NO", false},
    };
    for (const auto &w : words)
        if (state.isShown(w.id))
            drawWord(p, lcdIndicatorRect(w.id), QString::fromLatin1(w.caption),
                     w.windowText ? c.windowText : c.ink);

    const struct {
        Ind id;
        const char *text;
    } pictureWords[] = {
        {Ind::FC, "FC"}, {Ind::LUX, "Lux"}, {Ind::CD, "CD"}, {Ind::FULL, "FULL"}, {Ind::REC, "REC"},
        {Ind::z4, "z4"}, {Ind::z3, "z3"},   {Ind::z2, "z2"}, {Ind::z11, "z1"},
    };
    for (const auto &w : pictureWords)
        if (state.isShown(w.id))
            drawFittedText(p, lcdIndicatorRect(w.id), QString::fromLatin1(w.text), c.ink);

    if (state.isShown(Ind::LCDHold))
        drawHold(p, c.ink);
    if (state.isShown(Ind::p_off))
        drawPowerOff(p, lcdIndicatorRect(Ind::p_off), c.ink);
    if (state.isShown(Ind::perecent))
        drawPercent(p, lcdIndicatorRect(Ind::perecent), c.ink);
    if (state.isShown(Ind::power))
        drawBattery(p, lcdIndicatorRect(Ind::power), c.ink);
    if (state.isShown(Ind::t_p))
        drawClock(p, lcdIndicatorRect(Ind::t_p), c.ink);

    drawBar(p, state.bar(), c);
    p.restore();
}

} // namespace sorrel
