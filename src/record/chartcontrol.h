#pragma once
// The trend chart's paging: TChartControl moves a window of one page over the points
// of the chart it drives; the chart itself is anything that implements
// TrendChartSurface (the Qt chart in the window, a plain model in tests).

#include <QtGlobal>

namespace sorrel {

// What the controller needs of a chart with an area series and a line series that
// always hold the same points.
class TrendChartSurface {
public:
    virtual ~TrendChartSurface() = default;
    // Adds value to every series, first series first; its X is the number of points
    // the series held before.
    virtual void addPoint(double value) = 0;
    virtual qint64 pointCount() const = 0;
    virtual void setHorizontalRange(double minimum, double maximum) = 0;
    virtual void setValueMaximum(double maximum) = 0;
    virtual void setValueMinimum(double minimum) = 0;
    // Shows or hides the area series; the line series always shows.
    virtual void setAreaShown(bool shown) = 0;
};

class TChartControl {
public:
    // Create: drives chart with pageSize points per page and adds the placeholder point.
    TChartControl(TrendChartSurface &chart, int pageSize);

    void AddPoint(double value);
    void FirstPage();
    void LastPage();
    void NextPage();
    void PreviousPage();
    void SetValueMax(double x);
    void SetValueMin(double x);
    // Sizes below 1 are ignored: the axis cannot end before it starts and the page
    // count would divide by zero. The window rejects them before they get here.
    void SetPageSize(int n);
    void SetFill(bool on);

    int currentPage() const { return currentPage_; }
    int pageSize() const { return pageSize_; }
    int pageCount() const { return pageCount_; }
    bool browsing() const { return browsing_; }
    bool fill() const { return fill_; }
    // The horizontal axis window.
    qint64 windowMinimum() const { return windowMin_; }
    qint64 windowMaximum() const { return windowMax_; }

private:
    // The one step every move of the view goes through, times times over.
    void scroll(qint64 d, qint64 times);
    void recomputePageCount();
    void applyWindow();

    TrendChartSurface &chart_;
    int currentPage_ = 1;
    int pageSize_ = 100;
    int pageCount_ = 1;
    bool browsing_ = false;
    double lastValueMax_ = 0;
    double lastValueMin_ = 0;
    bool fill_ = true;
    qint64 windowMin_ = 1;
    qint64 windowMax_ = 100;
};

} // namespace sorrel
