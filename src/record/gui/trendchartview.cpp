#include "record/gui/trendchartview.h"

#include "base/fonts.h"

#include <QAreaSeries>
#include <QFontMetricsF>
#include <QGraphicsRectItem>
#include <QLineSeries>
#include <QValueAxis>
#include <QWheelEvent>
#include <algorithm>

namespace sorrel {

namespace {
constexpr int kLeftWallDepth = 11;
constexpr int kToolbarBand = 26; // the toolbar sits inside the chart's top edge

// The smallest step on whole points (1, 2 or 5 times a power of ten) that puts at most
// `ticks` labelled ticks on a page width points wide.
double tickInterval(double width, int ticks)
{
    for (double scale = 1; scale < 1e12; scale *= 10)
        for (double step : {1.0, 2.0, 5.0})
            if (step * scale * ticks >= width)
                return step * scale;
    return 1e12;
}

// The span's points for the series. Drawing more than a few points per pixel column
// only costs time (a page of a million points took seconds to lay out and paint):
// past twice `columns`, the span goes in that many buckets, each handed on as its
// lowest and its highest point in their order, so the curve keeps its outline. The
// span's ends stay, so the curve still runs to the plot's edges.
QList<QPointF> seriesPoints(const TrendChartModel &model, TrendChartModel::Span span, qint64 columns)
{
    QList<QPointF> points;
    const qint64 count = span.last - span.first + 1;
    const auto at = [&](qint64 x) { return QPointF(double(x), model.point(x)); };
    if (count <= 2 * columns + 2) {
        points.reserve(qMax<qint64>(count, 0));
        for (qint64 x = span.first; x <= span.last; ++x)
            points.append(at(x));
        return points;
    }
    const qint64 width = (count - 2 + columns - 1) / columns;
    points.reserve(2 * columns + 2);
    points.append(at(span.first));
    for (qint64 first = span.first + 1; first < span.last; first += width) {
        const qint64 last = std::min(first + width, span.last) - 1;
        qint64 low = first, high = first;
        for (qint64 x = first + 1; x <= last; ++x) {
            const double v = model.point(x);
            if (v < model.point(low))
                low = x;
            else if (v > model.point(high))
                high = x;
        }
        points.append(at(std::min(low, high)));
        if (low != high)
            points.append(at(std::max(low, high)));
    }
    points.append(at(span.last));
    return points;
}
} // namespace

TrendChartView::TrendChartView(QWidget *parent) : QChartView(parent)
{
    setObjectName(QStringLiteral("Chtshow"));
    setRenderHint(QPainter::Antialiasing, false);
    setRubberBand(QChartView::NoRubberBand);
    setDragMode(QGraphicsView::NoDrag);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFrameShape(QFrame::NoFrame);
    setBackgroundBrush(QColor(192, 221, 248)); // the panel colour under the gradient

    QChart *c = chart();
    c->setAnimationOptions(QChart::NoAnimation);
    c->legend()->hide();
    // No title: the chart never shows one, and setting a title font would lay out the
    // empty title with a font loaded for nothing.
    c->setBackgroundRoundness(0);
    c->setDropShadowEnabled(false);
    QLinearGradient gradient(0, 0, 0, 1);
    gradient.setCoordinateMode(QGradient::ObjectMode);
    gradient.setColorAt(0, QColor(192, 192, 192));
    gradient.setColorAt(1, Qt::white);
    c->setBackgroundBrush(gradient);
    c->setBackgroundPen(Qt::NoPen);
    c->setPlotAreaBackgroundBrush(Qt::white); // the back wall
    c->setPlotAreaBackgroundPen(Qt::NoPen);
    c->setPlotAreaBackgroundVisible(true);

    areaUpper_ = new QLineSeries(this);
    Series2 = new QAreaSeries(areaUpper_);
    Series2->setObjectName(QStringLiteral("Series2"));
    Series2->setBrush(QColor(255, 255, 128));
    Series2->setPen(QPen(QColor(0, 128, 255), 1));
    Series2->setPointsVisible(false);
    Series2->setPointLabelsVisible(false);

    Series1 = new QLineSeries;
    Series1->setObjectName(QStringLiteral("Series1"));
    Series1->setColor(Qt::red);
    Series1->setPen(QPen(QColor(128, 255, 0), 1));
    Series1->setPointsVisible(false);
    Series1->setPointLabelsVisible(false);

    c->addSeries(Series2);
    c->addSeries(Series1);

    axisX_ = new QValueAxis;
    axisX_->setLabelFormat(QStringLiteral("%d"));
    axisX_->setTickType(QValueAxis::TicksDynamic);
    axisX_->setTickAnchor(0);
    axisY_ = new QValueAxis;
    axisY_->setLabelFormat(QStringLiteral("%d"));
    QPen axisLine(QColor(0, 64, 128), 1, Qt::DashLine);
    axisY_->setLinePen(axisLine);
    axisY_->setMinorTickCount(4);
    const QFont labels = arialPoints(7);
    axisX_->setLabelsFont(labels);
    axisY_->setLabelsFont(labels);
    // The axes have no titles; without this the theme gives them a bold font of their
    // own, which costs a font load at start-up for text that is never drawn.
    axisX_->setTitleFont(labels);
    axisY_->setTitleFont(labels);
    c->addAxis(axisX_, Qt::AlignBottom);
    c->addAxis(axisY_, Qt::AlignLeft);
    for (QAbstractSeries *s : {static_cast<QAbstractSeries *>(Series2), static_cast<QAbstractSeries *>(Series1)}) {
        s->attachAxis(axisX_);
        s->attachAxis(axisY_);
    }

    leftWall_ = new QGraphicsRectItem(c);
    leftWall_->setBrush(Qt::yellow);
    leftWall_->setPen(Qt::NoPen);
    leftWall_->setZValue(0.5); // over the back wall, under grid, axes and series
    connect(c, &QChart::plotAreaChanged, this, [this] { placeLeftWall(); });
    // How many labels fit and how many points are worth drawing depend on the plot's
    // width: look again once it is laid out.
    connect(
        c, &QChart::plotAreaChanged, this,
        [this] {
            showHorizontalRange(model_.horizontalMinimum(), model_.horizontalMaximum());
            if (columnsShown_ != plotColumns())
                syncPoints(true);
        },
        Qt::QueuedConnection);

    connect(&model_, &TrendChartModel::changed, this, &TrendChartView::modelChanged);
    modelChanged(TrendChartModel::HorizontalRange | TrendChartModel::ValueRange | TrendChartModel::AreaShown);
    applyMargins();
}

TrendChartView::~TrendChartView() = default;

void TrendChartView::modelChanged(unsigned changes)
{
    if (changes & TrendChartModel::HorizontalRange)
        showHorizontalRange(model_.horizontalMinimum(), model_.horizontalMaximum());
    if (changes & TrendChartModel::ValueRange) {
        if (model_.valueMinimum() <= model_.valueMaximum())
            axisY_->setRange(model_.valueMinimum(), model_.valueMaximum());
    }
    if (changes & TrendChartModel::AreaShown)
        Series2->setVisible(model_.areaShown());
    if (changes & (TrendChartModel::PointAdded | TrendChartModel::HorizontalRange))
        syncPoints(changes & TrendChartModel::HorizontalRange);
}

void TrendChartView::showHorizontalRange(double min, double max)
{
    // A page of one point has no width to draw; centre that point instead.
    if (max <= min) {
        min -= 0.5;
        max = min + 1;
    }
    // Each setter lays the axis out at once, ticks over the whole range: the interval
    // must never be the small one while the range is the wide one, or a page size of
    // a million builds 50000 ticks on the way. So widen it before the range grows and
    // narrow it after the range shrinks.
    const double interval = tickInterval(max - min, labelsThatFit(max));
    if (interval > axisX_->tickInterval())
        axisX_->setTickInterval(interval);
    axisX_->setRange(min, max);
    axisX_->setTickInterval(interval);
}

// Five labels a page, fewer when long numbers would otherwise run into each other.
int TrendChartView::labelsThatFit(double max) const
{
    const QFontMetricsF metrics(axisX_->labelsFont());
    const double label = metrics.horizontalAdvance(QString::number(qint64(max))) + metrics.averageCharWidth();
    return std::clamp(int(plotColumns() / label), 1, 5);
}

// The plot's width in pixels; an estimate until the chart is first laid out.
int TrendChartView::plotColumns() const
{
    const double plot = chart()->plotArea().width();
    return std::max(64, int(plot > 0 ? plot : width() * 0.8));
}

void TrendChartView::syncPoints(bool force)
{
    const TrendChartModel::Span span = model_.visibleSpan();
    if (!force && span == shownSpan_)
        return;
    shownSpan_ = span;
    columnsShown_ = plotColumns();
    const QList<QPointF> points = seriesPoints(model_, span, columnsShown_);
    areaUpper_->replace(points);
    Series1->replace(points);
}

void TrendChartView::placeLeftWall()
{
    const QRectF plot = chart()->plotArea();
    leftWall_->setRect(QRectF(plot.left(), plot.top(), qMin<qreal>(kLeftWallDepth, plot.width()), plot.height()));
}

void TrendChartView::applyMargins()
{
    // 1 % left, 10 % right, 1 % bottom of the chart's size.
    const QSize s = size();
    chart()->setMargins(
        QMargins(qRound(s.width() * 0.01), kToolbarBand, qRound(s.width() * 0.10), qRound(s.height() * 0.01)));
}

void TrendChartView::resizeEvent(QResizeEvent *event)
{
    // Margins first: the chart is then laid out once, at its new size with them.
    applyMargins();
    QChartView::resizeEvent(event);
}

void TrendChartView::wheelEvent(QWheelEvent *event)
{
    ChtshowMouseWheel(event);
}

void TrendChartView::ChtshowMouseWheel(QWheelEvent *event)
{
    event->accept(); // handled: the wheel neither zooms nor scrolls the chart
}

} // namespace sorrel
