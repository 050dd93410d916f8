#include "record/recorder.h"

namespace sorrel {

std::optional<std::pair<double, double>> valueRangeFor(double v)
{
    for (double bound : {20.0, 200.0, 2000.0, 20000.0})
        if (v <= bound)
            return std::pair{bound, -bound};
    return std::nullopt;
}

double scaledReading(float lastReading, const LcdPanelState &panel)
{
    const double count = lastReading;
    if (panel.isShown(Ind::LcdP1))
        return count / 1000;
    if (panel.isShown(Ind::LcdP2))
        return count / 100;
    if (panel.isShown(Ind::LcdP3))
        return count / 10;
    return count;
}

qint32 samplingIntervalFromText(const QString &text)
{
    if (text.isEmpty() || text == u"-" || text == u"+")
        return 0;
    bool ok = false;
    const int seconds = text.toInt(&ok, 10);
    return ok && seconds > 0 ? seconds : 0;
}

Recorder::Recorder(ReadingTable &table, TChartControl &chart, const ReadingState &state,
                   const LcdPanelState &panel, Notifier &notifier, QString timeSeparator, QObject *parent)
    : QObject(parent), table_(table), chart_(chart), state_(state), panel_(panel), notifier_(notifier),
      timeSeparator_(std::move(timeSeparator))
{}

QString Recorder::timeText() const
{
    const QTime t = clock();
    auto two = [](int n) { return QString::number(n).rightJustified(2, u'0'); };
    return two(t.hour()) + timeSeparator_ + two(t.minute()) + timeSeparator_ + two(t.second());
}

void Recorder::INDataToTable()
{
    if (holds_ > 0)
        return;
    if (recordLimit_ <= recordedCount_)
        return;
    if (samplingInterval_ && countdown_ != 0)
        return;

    const QString key = state_.currentValue + state_.currentUnit;
    if (repeat_ || key != lastKey_) {
        lastKey_ = key;
        countdown_ = samplingIntervalFromText(intervalText_);
        ++recordedCount_;
        table_.append(ReadingRow{nextNumber_, timeText(), state_.currentValue, state_.currentUnit});
    }
    // Wraps instead of overflowing after 2^31 readings.
    nextNumber_ = qint32(quint32(nextNumber_) + 1u);

    const double v = scaledReading(state_.lastReading, panel_);
    if (const auto range = valueRangeFor(v)) {
        chart_.SetValueMax(range->first);
        chart_.SetValueMin(range->second);
    }
    chart_.AddPoint(v);
    Q_EMIT pointAdded(chart_.currentPage());
}

void Recorder::TrecordTimer()
{
    if (samplingInterval_ && countdown_ > 0)
        --countdown_;
}

void Recorder::RecordSITimeChange(const QString &text)
{
    intervalText_ = text;
    countdown_ = samplingIntervalFromText(text);
}

void Recorder::RecordNewClick()
{
    notifier_.information(QStringLiteral(" Record deleted "));
    if (!table_.isEmpty())
        table_.clear();
    nextNumber_ = 1;
    recordedCount_ = 0;
}

Recorder::LoadingHold::LoadingHold(Recorder *recorder) : recorder_(recorder)
{
    if (recorder_)
        ++recorder_->holds_;
}

Recorder::LoadingHold::~LoadingHold()
{
    if (recorder_)
        --recorder_->holds_;
}

Outcome Recorder::loadReadingFile(const QString &fileName, const FileProgress &progress)
{
    const LoadingHold hold(this);
    return LoadReadingFile(fileName, table_, false, progress);
}

} // namespace sorrel
