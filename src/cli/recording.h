#pragma once
// The recording as the window runs it, for the command-line tool: the reading table,
// the chart's axes, and INDataToTable bound to the session's judged Tern readings.

#include "app/metersession.h"
#include "record/chartcontrol.h"
#include "record/readingtable.h"
#include "record/recorder.h"
#include "record/recording.h"
#include "record/trendchartmodel.h"

#include <QJsonObject>
#include <QString>
#include <optional>

namespace sorrel::cli {

// The chart as far as the tool shows it: the number of points and the value axis. The
// points themselves are not kept: a long unattended run would only pile them up.
class ChartAxes : public TrendChartSurface {
public:
    void addPoint(double) override { ++points_; }
    qint64 pointCount() const override { return points_; }
    void setHorizontalRange(double, double) override {}
    void setValueMaximum(double maximum) override { max_ = maximum; }
    void setValueMinimum(double minimum) override { min_ = minimum; }
    void setAreaShown(bool) override {}
    double valueMaximum() const { return max_; }
    double valueMinimum() const { return min_; }

private:
    qint64 points_ = 0;
    // The window's chart until the first reading sets the range.
    double max_ = TrendChartModel().valueMaximum();
    double min_ = TrendChartModel().valueMinimum();
};

// The record panel and the "Record" menu as the window starts, unless told otherwise.
struct RecordSettings {
    bool repeat = true; // "Repeat"
    qint32 limit = kStartRecordLimit;
};

// A record limit: a whole number from 1 up, or the caption of a limit entry of the
// "Record" menu ("limitless" is ten million).
std::optional<qint32> parseRecordLimit(const QString &text);

class SessionRecording {
public:
    SessionRecording(MeterSession &session, Notifier &notifier, const RecordSettings &settings);
    SessionRecording(const SessionRecording &) = delete;
    SessionRecording &operator=(const SessionRecording &) = delete;

    ReadingTable &table() { return table_; }
    Recorder &recorder() { return recording_.recorder(); }
    const ChartAxes &chart() const { return chart_; }
    // recorded() follows each INDataToTable call.
    Recording &recording() { return recording_; }

    // Takes no more readings (the end of a run).
    void stop() { recording_.stop(); }

    // What the frame decoded since the last call did here: "row", the appended row
    // (or null), and "chart", the point and the value axis (or null when the frame
    // did not reach the chart).
    void addFrameKeys(QJsonObject &obj);

private:
    MeterSession &session_;
    ReadingTable table_;
    ChartAxes chart_;
    Recording recording_;
    qsizetype rowsSeen_ = 0;
    qint64 pointsSeen_ = 0;
};

QJsonObject rowObject(const ReadingRow &row);

} // namespace sorrel::cli
