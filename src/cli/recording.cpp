#include "cli/recording.h"

#include "record/readingfiles.h"

#include <algorithm>

namespace sorrel::cli {

namespace {
// The page size the window starts with; paging shows nowhere here.
constexpr int kPageSize = 100;
} // namespace

std::optional<qint32> parseRecordLimit(const QString &text)
{
    for (const RecordLimitEntry &e : kRecordLimits)
        if (text == QLatin1String(e.caption))
            return e.limit;
    if (text.isEmpty() || !std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; }))
        return std::nullopt;
    bool ok = false;
    const int n = text.toInt(&ok, 10);
    if (!ok || n < 1)
        return std::nullopt;
    return n;
}

SessionRecording::SessionRecording(MeterSession &session, Notifier &notifier, const RecordSettings &settings)
    : session_(session), recording_(table_, chart_, kPageSize, session.state(), session.panel(), notifier)
{
    recording_.recorder().setRepeat(settings.repeat);
    recording_.recorder().setRecordLimit(settings.limit);
    // The placeholder point the controller starts with is no reading.
    pointsSeen_ = chart_.pointCount();
    QObject::connect(&session_, &MeterSession::readingJudged, &recording_, &Recording::record);
}

QJsonObject rowObject(const ReadingRow &row)
{
    QJsonObject o;
    o.insert(QStringLiteral("No"), row.no ? QJsonValue(*row.no) : QJsonValue());
    o.insert(QStringLiteral("Time"), row.time);
    o.insert(QStringLiteral("Value"), row.value);
    o.insert(QStringLiteral("Unit"), row.unit);
    return o;
}

void SessionRecording::addFrameKeys(QJsonObject &obj)
{
    QJsonValue row;
    if (table_.rowCount() > rowsSeen_)
        row = rowObject(table_.row(table_.rowCount() - 1));
    rowsSeen_ = table_.rowCount();

    QJsonValue chart;
    if (chart_.pointCount() > pointsSeen_) {
        QJsonObject c;
        c.insert(QStringLiteral("reading"), scaledReading(session_.state().lastReading, session_.panel()));
        c.insert(QStringLiteral("max"), chart_.valueMaximum());
        c.insert(QStringLiteral("min"), chart_.valueMinimum());
        chart = c;
    }
    pointsSeen_ = chart_.pointCount();

    obj.insert(QStringLiteral("row"), row);
    obj.insert(QStringLiteral("chart"), chart);
}

} // namespace sorrel::cli
