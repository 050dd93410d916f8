#include "record/trendchartmodel.h"

#include <algorithm>
#include <cmath>

namespace sorrel {

void TrendChartModel::addPoint(double value)
{
    points_.push_back(float(value));
    Q_EMIT changed(PointAdded);
}

void TrendChartModel::setHorizontalRange(double minimum, double maximum)
{
    if (minimum == hMin_ && maximum == hMax_)
        return;
    hMin_ = minimum;
    hMax_ = maximum;
    Q_EMIT changed(HorizontalRange);
}

void TrendChartModel::setValueMaximum(double maximum)
{
    vMax_ = maximum;
    Q_EMIT changed(ValueRange);
}

void TrendChartModel::setValueMinimum(double minimum)
{
    vMin_ = minimum;
    Q_EMIT changed(ValueRange);
}

void TrendChartModel::setAreaShown(bool shown)
{
    if (shown == areaShown_)
        return;
    areaShown_ = shown;
    Q_EMIT changed(AreaShown);
}

TrendChartModel::Span TrendChartModel::visibleSpan() const
{
    const qint64 count = pointCount();
    if (count == 0)
        return {};
    const qint64 first = std::max<qint64>(0, qint64(std::ceil(hMin_)) - 1);
    const qint64 last = std::min<qint64>(count - 1, qint64(std::floor(hMax_)) + 1);
    if (first > last)
        return {};
    return {first, last};
}

} // namespace sorrel
