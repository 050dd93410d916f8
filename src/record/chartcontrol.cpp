#include "record/chartcontrol.h"

#include <algorithm>
#include <limits>

namespace sorrel {

TChartControl::TChartControl(TrendChartSurface &chart, int pageSize) : chart_(chart)
{
    SetPageSize(pageSize);
    windowMin_ = 1;
    windowMax_ = pageSize_;
    applyWindow();
    pageCount_ = 1;
    currentPage_ = 1;
    chart_.addPoint(0);
    fill_ = true;
    chart_.setAreaShown(true);
}

void TChartControl::applyWindow()
{
    chart_.setHorizontalRange(double(windowMin_), double(windowMax_));
}

void TChartControl::scroll(qint64 d, qint64 times)
{
    // Each single step moves the window only while points lie beyond the edge it moves
    // towards; X runs 0 .. count-1, so the steps that go through can be counted at once.
    const qint64 count = chart_.pointCount();
    if (d == 0 || times <= 0 || count == 0)
        return;
    qint64 moves = 0;
    if (d > 0) {
        const qint64 largest = count - 1;
        if (largest > windowMax_)
            moves = (largest - windowMax_ + d - 1) / d;
    } else {
        const qint64 smallest = 0;
        if (smallest < windowMin_)
            moves = (windowMin_ - smallest + (-d) - 1) / (-d);
    }
    moves = std::min(moves, times);
    if (moves == 0)
        return;
    windowMin_ += d * moves;
    windowMax_ += d * moves;
    applyWindow();
}

void TChartControl::recomputePageCount()
{
    const qint64 count = chart_.pointCount();
    const qint64 pages = (count + pageSize_ - 1) / pageSize_;
    pageCount_ = int(std::min<qint64>(pages, std::numeric_limits<int>::max()));
}

void TChartControl::AddPoint(double value)
{
    chart_.addPoint(value);
    recomputePageCount();
    if (!browsing_) {
        scroll(pageSize_, 1);
        currentPage_ = pageCount_;
    }
}

void TChartControl::FirstPage()
{
    if (pageCount_ < 2 || currentPage_ == 1)
        return;
    scroll(-qint64(pageSize_), qint64(currentPage_) - 1);
    currentPage_ = 1;
    browsing_ = true;
}

void TChartControl::LastPage()
{
    if (pageCount_ < 2 || currentPage_ == pageCount_)
        return;
    scroll(pageSize_, qint64(pageCount_) - currentPage_);
    currentPage_ = pageCount_;
    browsing_ = false;
}

void TChartControl::NextPage()
{
    if (pageCount_ < 2 || currentPage_ == pageCount_)
        return;
    scroll(pageSize_, 1);
    ++currentPage_;
    browsing_ = currentPage_ != pageCount_;
}

void TChartControl::PreviousPage()
{
    if (currentPage_ < 2)
        return;
    scroll(-qint64(pageSize_), 1);
    --currentPage_;
    browsing_ = true;
}

void TChartControl::SetPageSize(int n)
{
    if (n < 1 || n == pageSize_)
        return;
    pageSize_ = n;
    windowMin_ = 1;
    windowMax_ = n;
    applyWindow();
    recomputePageCount();
    scroll(n, qint64(pageCount_) - 1);
    currentPage_ = pageCount_;
    browsing_ = false;
}

void TChartControl::SetValueMax(double x)
{
    if (x == lastValueMax_)
        return;
    lastValueMax_ = x;
    chart_.setValueMaximum(x);
}

void TChartControl::SetValueMin(double x)
{
    if (x == lastValueMin_)
        return;
    lastValueMin_ = x;
    chart_.setValueMinimum(x);
}

void TChartControl::SetFill(bool on)
{
    if (on == fill_)
        return;
    fill_ = on;
    chart_.setAreaShown(on);
}

} // namespace sorrel
