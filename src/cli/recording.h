#pragma once
// The recorder as the window runs it, for the command-line tool: the reading table,
// the trend chart's model and controller, and INDataToTable bound to the session's
// Tern frames.

#include "app/metersession.h"
#include "record/chartcontrol.h"
#include "record/readingtable.h"
#include "record/recorder.h"
#include "record/trendchartmodel.h"

#include <QJsonObject>
#include <QString>
#include <functional>
#include <optional>

namespace sorrel::cli {

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
    ~SessionRecording();
    SessionRecording(const SessionRecording &) = delete;
    SessionRecording &operator=(const SessionRecording &) = delete;

    ReadingTable &table() { return table_; }
    Recorder &recorder() { return recorder_; }
    const TrendChartModel &chart() const { return chart_; }

    // After each INDataToTable call.
    std::function<void()> afterRecord;
    // Takes no more readings (the end of a run).
    void stop() { stopped_ = true; }

    // What the frame decoded since the last call did here: "row", the appended row
    // (or null), and "chart", the point and the value axis (or null when the frame
    // did not reach the chart).
    void addFrameKeys(QJsonObject &obj);

private:
    MeterSession &session_;
    ReadingTable table_;
    TrendChartModel chart_;
    TChartControl chartControl_;
    Recorder recorder_;
    qsizetype rowsSeen_ = 0;
    qint64 pointsSeen_ = 0;
    bool stopped_ = false;
};

QJsonObject rowObject(const ReadingRow &row);

// SaveReadingFile without its success box (a tool that did its job says nothing);
// a failure is passed on to notifier. True when the file was written.
bool saveReadingTable(const ReadingTable &table, const QString &fileName, Notifier &notifier);

} // namespace sorrel::cli
