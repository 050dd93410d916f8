#include "display/dialgauge.h"

#include <QPainter>
#include <algorithm>
#include <cmath>
#include <numbers>

namespace sorrel {

namespace {

// Ties go to the even neighbour (the default rounding mode), as the meter's drawing did.
int roundEven(double v)
{
    return int(std::nearbyint(v));
}

// The dots are ellipses of 2 x 2 drawn with a wide pen: a disc reaching penWidth / 2
// beyond that square. Filling the disc gives the same pixels at a fraction of the cost
// of stroking.
QRectF dotDisc(QPoint corner, int penWidth)
{
    const qreal half = penWidth / 2.0;
    return {corner.x() - half, corner.y() - half, qreal(2 + penWidth), qreal(2 + penWidth)};
}

bool allWhite(const QImage &img, const QRect &area)
{
    const QRect r = area.intersected(img.rect());
    const QRgb white = qRgb(255, 255, 255);
    for (int y = r.top(); y <= r.bottom(); ++y) {
        const QRgb *line = reinterpret_cast<const QRgb *>(img.constScanLine(y));
        for (int x = r.left(); x <= r.right(); ++x)
            if ((line[x] | 0xff000000u) != white)
                return false;
    }
    return true;
}

constexpr QPoint kSlotOffsets[9] = {{5, 7}, {8, 6}, {10, 5}, {10, 4}, {3, 4}, {5, 5}, {8, 5}, {10, 6}, {12, 7}};

} // namespace

std::optional<DialGeometry> DialGeometry::forPanel(QSize panel)
{
    DialGeometry g;
    g.W = float(panel.width() - 40);
    g.H = float(panel.height() - 60);
    if (g.W <= 0 || g.H <= 0)
        return std::nullopt;
    // An arc of at most kDialMaxArcDegrees has a rise of at most W/2 * tan(arc / 4).
    const float maxRise = float(g.W / 2.0 * std::tan(kDialMaxArcDegrees / 4.0 * std::numbers::pi / 180.0));
    g.H = std::min(g.H, maxRise);
    g.R = float((4.0 * g.H * g.H + double(g.W) * g.W) / (8.0 * g.H));
    // The degree conversion uses 3.1415: the face and pointer were laid out with it.
    g.theta = float(2.0 * std::atan((g.W / 2.0) / (double(g.R) - g.H)) * 180.0 / 3.1415);
    g.alpha0 = float((180.0 - g.theta) / 2.0);
    return g;
}

float DialGeometry::phi(double step, int steps) const
{
    return float((double(theta) / steps * step + alpha0) * std::numbers::pi / 180.0);
}

QPoint DialGeometry::pointAt(float radius, double step, int steps) const
{
    const double f = phi(step, steps);
    return {roundEven(W / 2.0 - radius * std::cos(f) + 20), roundEven(double(R) - radius * std::sin(f) + 30)};
}

QLine DialGeometry::pointer(double position, int steps) const
{
    const double f = phi(position, steps);
    const QPoint tip(roundEven(W / 2.0 - R * std::cos(f)) + 20, roundEven(double(R) - R * std::sin(f) + 4) + 30);
    const float d = float(double(R) - H - 280);
    const QPoint base(roundEven(W / 2.0 - d * std::cos(f) / std::sin(f)) + 20, roundEven(double(H) + 280) + 30);
    return {tip, base};
}

QList<DialFigure> dialFigures(const QString &displayClass)
{
    int first = 0, last = 8, stepOf1 = 0, stepBase = 0, valueOf1 = 0;
    if (displayClass == u"4")
        stepOf1 = 10, valueOf1 = 10;
    else if (displayClass == u"2")
        stepOf1 = 5, valueOf1 = 5;
    else if (displayClass == u"6")
        stepOf1 = 15, valueOf1 = 15;
    else if (displayClass == u"34")
        first = 1, last = 7, stepOf1 = 10, valueOf1 = 10, stepBase = -6;
    else
        return {};
    QList<DialFigure> figures;
    for (int slot = first; slot <= last; ++slot) {
        QPoint offset = kSlotOffsets[slot];
        if (slot == 8 && displayClass == u"6")
            offset = {11, 7};
        figures.append({slot, stepBase + slot * stepOf1, QString::number((slot - 4) * valueOf1), offset});
    }
    return figures;
}

QList<int> dialTickSteps(const QString &displayClass, int spanFactor)
{
    QList<int> steps;
    for (int s = 0; s <= spanFactor; ++s) {
        if ((displayClass == u"6" && s % 15 == 0) || (displayClass == u"4" && s % 10 == 0)
            || (displayClass == u"34" && s % 10 == 4))
            steps.append(s);
    }
    return steps;
}

QColor dialTickColour(const QString &displayClass)
{
    // Class "4" draws its ticks white on the white face, so they do not show.
    return displayClass == u"4" ? QColor(Qt::white) : QColor(Qt::red);
}

DialGauge::DialGauge(QString displayClass, int spanFactor)
    : displayClass_(std::move(displayClass)), spanFactor_(std::max(1, spanFactor))
{
    figureFont_.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arial")});
    figureFont_.setStyleHint(QFont::SansSerif);
    figureFont_.setPixelSize(11);
}

int DialGauge::clampPosition(int position) const
{
    return std::clamp(position, 0, span());
}

void DialGauge::KDsetup(QSize pictureSize)
{
    picture_ = QImage();
    pointer_ = QLine();
    geometry_ = DialGeometry::forPanel(panelSizeFor(pictureSize));
    owedSize_ = pictureSize.expandedTo(QSize(1, 1));
    owedFigureColour_ = figureColour_;
    faceOwed_ = true;
    pointerOwed_ = false;
}

const QImage &DialGauge::picture() const
{
    drawOwedFace();
    return picture_;
}

void DialGauge::drawOwedFace() const
{
    if (!faceOwed_)
        return;
    faceOwed_ = false;
    picture_ = QImage(owedSize_, QImage::Format_RGB32);
    picture_.fill(Qt::white);
    if (!geometry_)
        return;
    const DialGeometry &g = *geometry_;

    {
        QPainter p(&picture_);
        p.setFont(figureFont_);
        p.setBackgroundMode(Qt::OpaqueMode);
        p.setBackground(Qt::white);

        const int n = spanFactor_;
        const QList<DialFigure> figures = dialFigures(displayClass_);
        const QList<int> ticks = dialTickSteps(displayClass_, n);
        const QColor tickColour = dialTickColour(displayClass_);
        for (int s = 0; s <= n; ++s) {
            const QPoint tick = g.pointAt(g.R + 6, s, n);
            const QPoint anchor = g.pointAt(g.R + 18, s, n);
            for (const DialFigure &f : figures) {
                if (f.step != s)
                    continue;
                p.setPen(owedFigureColour_);
                const QPoint topLeft = anchor - f.offset;
                p.drawText(QRect(topLeft, QSize(60, 30)), Qt::AlignLeft | Qt::AlignTop, f.text);
            }
            if (ticks.contains(s)) {
                p.setPen(Qt::NoPen);
                p.setBrush(tickColour);
                p.drawEllipse(dotDisc(tick, 2));
            }
        }

        // A white band of dots between the pointer's tip and the tick dots. On the white
        // face a dot changes only pixels something else has inked, so the others are skipped.
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        for (int j = 0; j <= span(); ++j) {
            const QRectF disc = dotDisc(g.pointAt(g.R + 3, j, span()), 4);
            if (!allWhite(picture_, disc.toAlignedRect()))
                p.drawEllipse(disc);
        }
    }

    if (pointerOwed_) {
        pointerOwed_ = false;
        drawPointer(QLine(), pointer_); // erasing the null line first, as KDrun does on a fresh face
    }
}

void DialGauge::drawPointer(const QLine &erase, const QLine &next) const
{
    QPainter p(&picture_);
    p.setPen(QPen(Qt::white, 2));
    p.drawLine(erase);
    p.setPen(QPen(Qt::black, 2));
    p.drawLine(next);
}

void DialGauge::KDrun(int position)
{
    position = clampPosition(position);
    lastPosition_ = position;
    if (!geometry_ || (picture_.isNull() && !faceOwed_))
        return;
    const QLine next = geometry_->pointer(position, span());
    if (faceOwed_ && !pointerOwed_) {
        // The first pointer on a face not yet drawn goes down with the face.
        pointer_ = next;
        pointerOwed_ = true;
        return;
    }
    drawOwedFace();
    drawPointer(pointer_, next);
    pointer_ = next;
}

DialViewLayout DialView::click(const QRect &kdBounds, QSize windowSize)
{
    DialViewLayout out;
    if (isEnlarged(kdBounds)) {
        // Never enlarged by us: nothing saved to go back to, so stay put.
        out.kd = saved_.isValid() ? saved_ : kdBounds;
        out.kd1 = QRect(2, 2, out.kd.width() - 4, out.kd.height() - 4);
        out.kdFdVisible = true;
        out.kdSxVisible = false;
        out.chartVisible = true;
    } else {
        saved_ = kdBounds;
        out.kd = QRect(2, 28, windowSize.width() - 12, windowSize.height() - 80);
        out.kd1 = QRect(2, 2, out.kd.width() - 40, out.kd.height() - 140);
        out.kdFdVisible = false;
        out.kdSxVisible = true;
        out.chartVisible = false;
    }
    return out;
}

} // namespace sorrel
