#pragma once
// The recording as the window and the command-line tool run it: INDataToTable into a
// reading table, with the chart controller paging the trend chart it feeds. The owner
// connects the session's reading event to record(), once.

#include "base/lcdpanelstate.h"
#include "base/notifier.h"
#include "base/readingstate.h"
#include "record/chartcontrol.h"
#include "record/readingtable.h"
#include "record/recorder.h"

#include <QObject>

namespace sorrel {

class Recording : public QObject {
    Q_OBJECT
public:
    // The controller takes chart over at once (its placeholder point); the recorder
    // stamps rows in the system's time format.
    Recording(ReadingTable &table, TrendChartSurface &chart, int pageSize, const ReadingState &state,
              const LcdPanelState &panel, Notifier &notifier, QObject *parent = nullptr);

    ReadingTable &table() { return table_; }
    const ReadingTable &table() const { return table_; }
    TChartControl &chartControl() { return chartControl_; }
    Recorder &recorder() { return recorder_; }

    // INDataToTable, then recorded(); nothing once stopped.
    void record();
    // Takes no more readings (the end of a run).
    void stop() { stopped_ = true; }

Q_SIGNALS:
    // After each INDataToTable call made by record().
    void recorded();

private:
    ReadingTable &table_;
    TChartControl chartControl_;
    Recorder recorder_;
    bool stopped_ = false;
};

} // namespace sorrel
