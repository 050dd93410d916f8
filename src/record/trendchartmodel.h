#pragma once
// Everything the trend chart shows, without widgets: every point of the run (one
// float each), the horizontal window, the value range and whether the area shows.
// The Qt chart draws from it and hands only the window's points to its series, so
// drawing never costs more as the run grows.

#include "record/chartcontrol.h"
#include "record/chunkedvector.h"

#include <QObject>

namespace sorrel {

class TrendChartModel : public QObject, public TrendChartSurface {
    Q_OBJECT
public:
    explicit TrendChartModel(QObject *parent = nullptr) : QObject(parent) {}

    enum Change : unsigned {
        PointAdded = 1,
        HorizontalRange = 2,
        ValueRange = 4,
        AreaShown = 8,
    };

    void addPoint(double value) override;
    qint64 pointCount() const override { return points_.size(); }
    void setHorizontalRange(double minimum, double maximum) override;
    void setValueMaximum(double maximum) override;
    void setValueMinimum(double minimum) override;
    void setAreaShown(bool shown) override;

    double point(qint64 x) const { return double(points_[x]); }
    double horizontalMinimum() const { return hMin_; }
    double horizontalMaximum() const { return hMax_; }
    double valueMaximum() const { return vMax_; }
    double valueMinimum() const { return vMin_; }
    bool areaShown() const { return areaShown_; }

    // The points to hand to the series for the current window: those inside it and
    // one neighbour on each side, so the curve runs on to the plot's edges.
    // first > last when there is nothing to draw.
    struct Span {
        qint64 first = 0;
        qint64 last = -1;
        bool operator==(const Span &) const = default;
    };
    Span visibleSpan() const;

Q_SIGNALS:
    // After every change, with the Change bits.
    void changed(unsigned changes);

private:
    ChunkedVector<float> points_;
    double hMin_ = 1;
    double hMax_ = 100;
    // Until the first reading sets it.
    double vMax_ = 2000;
    double vMin_ = -2000;
    bool areaShown_ = true;
};

} // namespace sorrel
