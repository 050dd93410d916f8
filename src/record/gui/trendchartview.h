#pragma once
// The trend chart Chtshow on Qt Charts: an area series Series2 and a line series
// Series1 over one page of the run. The run's points stay in the TrendChartModel;
// the series only ever hold the points of the window, so a point costs the same on
// page 1 and on page 100000, and of a page wider than the plot at most two per pixel
// column, so a page of a million points draws no more of them. The view owns its model.

#include "record/trendchartmodel.h"

#include <QChartView>

class QAreaSeries;
class QGraphicsRectItem;
class QLineSeries;
class QValueAxis;

namespace sorrel {

class TrendChartView : public QChartView {
    Q_OBJECT
public:
    explicit TrendChartView(QWidget *parent = nullptr);
    ~TrendChartView() override;

    // What the chart shows; the chart controller drives it.
    TrendChartModel &model() { return model_; }

    QAreaSeries *Series2 = nullptr; // the area series, first series
    QLineSeries *Series1 = nullptr; // the line series
    QValueAxis *horizontalAxis() const { return axisX_; }
    QValueAxis *valueAxis() const { return axisY_; }
    QGraphicsRectItem *leftWall() const { return leftWall_; }
    // Points now handed to the series (the window and its two neighbours).
    TrendChartModel::Span shownSpan() const { return shownSpan_; }

protected:
    void wheelEvent(QWheelEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void ChtshowMouseWheel(QWheelEvent *event);
    void modelChanged(unsigned changes);
    void showHorizontalRange(double min, double max);
    int labelsThatFit(double max) const;
    int plotColumns() const;
    void syncPoints(bool force);
    void placeLeftWall();
    void applyMargins();

    TrendChartModel model_;
    QLineSeries *areaUpper_ = nullptr;
    QValueAxis *axisX_ = nullptr;
    QValueAxis *axisY_ = nullptr;
    QGraphicsRectItem *leftWall_ = nullptr;
    TrendChartModel::Span shownSpan_;
    int columnsShown_ = 0; // the plot width the series' points were chosen for
};

} // namespace sorrel
