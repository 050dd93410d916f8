#pragma once
// INDataToTable and the state that steers it: decides per Tern reading whether it
// becomes a row of the reading table, and feeds every reading that passes the gates
// to the trend chart.

#include "base/lcdpanelstate.h"
#include "base/notifier.h"
#include "base/readingstate.h"
#include "record/chartcontrol.h"
#include "record/readingfiles.h"
#include "record/readingtable.h"

#include <QObject>
#include <QString>
#include <QTime>
#include <array>
#include <functional>
#include <optional>
#include <utility>

namespace sorrel {

// The limit entries of the "Record" menu, in menu order; "limitless" is ten million.
struct RecordLimitEntry {
    const char *name;
    const char *caption;
    qint32 limit;
};
inline constexpr std::array<RecordLimitEntry, 6> kRecordLimits{{
    {"N10001", "1000", 1000},
    {"N50001", "5000", 5000},
    {"N100001", "10000", 10000},
    {"N500001", "50000", 50000},
    {"N1000001", "100000", 100000},
    {"limitess", "limitless", 10000000},
}};
inline constexpr qint32 kStartRecordLimit = 10000;

// The value axis range for a scaled reading: {maximum, minimum}, or nothing above
// 20000 (the range stays).
std::optional<std::pair<double, double>> valueRangeFor(double scaled);

// The reading as a plain number: the count divided by the first lit point of
// LcdP1 (1000), LcdP2 (100), LcdP3 (10).
double scaledReading(float lastReading, const LcdPanelState &panel);

// Seconds of the sampling interval from the interval text. "-", "+" and the empty
// text are 0; so is a text that is no whole number of 32 bits or is negative, so
// that such a text can never stop recording.
qint32 samplingIntervalFromText(const QString &text);

class Recorder : public QObject {
    Q_OBJECT
public:
    Recorder(ReadingTable &table, TChartControl &chart, const ReadingState &state, const LcdPanelState &panel,
             Notifier &notifier, QString timeSeparator, QObject *parent = nullptr);

    void INDataToTable();

    // Controls read by the recorder (RepeatSet, RecordSI, RecordSITime).
    void setRepeat(bool checked) { repeat_ = checked; }
    void setSamplingInterval(bool checked) { samplingInterval_ = checked; }
    bool repeat() const { return repeat_; }
    bool samplingInterval() const { return samplingInterval_; }

    void TrecordTimer();
    void RecordSITimeChange(const QString &text);
    // The interval text as the edit holds it before its change handler is bound (at
    // start-up): the countdown keeps its value, so the first reading is not held back.
    void setIntervalTextAtStart(const QString &text) { intervalText_ = text; }
    // "New": informs, empties the table and numbers from 1 again.
    void RecordNewClick();
    void setRecordLimit(qint32 limit) { recordLimit_ = limit; }

    // While a file loads into the table its progress may run the event loop, and the
    // links go on bringing frames. Under a hold the recorder passes every reading by
    // as if it had never come: no row, no number used, no chart point; the reading
    // after the last hold ends is recorded as usual. Holds nest; null holds nothing.
    class LoadingHold {
    public:
        explicit LoadingHold(Recorder *recorder);
        ~LoadingHold();
        LoadingHold(const LoadingHold &) = delete;
        LoadingHold &operator=(const LoadingHold &) = delete;

    private:
        Recorder *recorder_;
    };
    bool loading() const { return holds_ > 0; }
    // LoadReadingFile into this recorder's table (never emptied first), under a hold.
    Outcome loadReadingFile(const QString &fileName, const FileProgress &progress = {});

    qint32 nextNumber() const { return nextNumber_; }
    qint32 recordedCount() const { return recordedCount_; }
    qint32 recordLimit() const { return recordLimit_; }
    qint32 countdown() const { return countdown_; }
    const QString &lastKey() const { return lastKey_; }

    // Local time of day; tests put a fixed clock here.
    std::function<QTime()> clock = [] { return QTime::currentTime(); };
Q_SIGNALS:
    // After each point: the chart's current page (the caption of Bt10).
    void pointAdded(int page);

private:
    QString timeText() const;

    ReadingTable &table_;
    TChartControl &chart_;
    const ReadingState &state_;
    const LcdPanelState &panel_;
    Notifier &notifier_;
    QString timeSeparator_;

    bool repeat_ = true;
    bool samplingInterval_ = false;
    QString intervalText_ = QStringLiteral("1");

    qint32 nextNumber_ = 1;
    qint32 recordedCount_ = 0;
    qint32 recordLimit_ = kStartRecordLimit;
    qint32 countdown_ = 0;
    QString lastKey_;
    int holds_ = 0;
};

} // namespace sorrel
