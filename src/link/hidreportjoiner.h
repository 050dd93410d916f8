#pragma once
// Joins the payload of consecutive HID cable reports into one burst; the first report
// without payload ends the burst and gives its frame text. Counts reports without
// payload in a row for the silent-instrument check.

#include <QByteArrayView>
#include <QString>
#include <optional>

namespace sorrel {

struct HidReportOutcome {
    QString line;                 // the report line
    bool payload = false;         // the report carried payload (its line goes to the history)
    std::optional<QString> frame; // a burst ended here: its frame text
};

class HidReportJoiner {
public:
    // The byte text keeps no more than a frame's worth of pairs.
    static constexpr int kMaxBytePairs = 32;

    HidReportOutcome handle(quint8 reportId, QByteArrayView data);

    // "R %.2X  " then "%.2X " for each data byte.
    static QString reportLine(quint8 reportId, QByteArrayView data);

    int idleReportCount() const { return idle_; }
    void setIdleReportCount(int n) { idle_ = n; }
    // Forgets a burst in progress, so a new start never joins bytes from before it.
    void resetBurst()
    {
        byteText_.clear();
        pending_ = false;
    }
    const QString &byteText() const { return byteText_; }
    bool burstPending() const { return pending_; }

private:
    int idle_ = 0;
    QString byteText_;
    bool pending_ = false;
};

} // namespace sorrel
