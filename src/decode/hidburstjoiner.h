#pragma once
// Joins the payload of HID input reports into one frame per burst: reports whose
// first data byte counts 1-9 payload bytes add them; the first report without
// payload ends the burst. Also keeps the idle report count of the silent-meter check.

#include <QByteArrayView>
#include <QString>
#include <optional>

namespace sorrel {

class HidBurstJoiner {
public:
    // Bytes past the 32nd of a burst never reach a frame, so the byte text keeps 32.
    static constexpr int kMaxPairs = 32;

    struct Report {
        QString line;                     // "R %.2X  " then "%.2X " per data byte
        bool payload = false;             // the line belongs in the history list
        std::optional<QString> frameText; // set when this report ended a burst
    };

    Report feed(quint8 reportId, QByteArrayView data);

    int idleReportCount() const { return idle_; }
    void resetIdleReportCount() { idle_ = 0; }
    bool burstPending() const { return pending_; }
    const QString &byteText() const { return byteText_; }
    void clear(); // forget a burst in progress

private:
    QString byteText_;
    int idle_ = 0;
    bool pending_ = false;
};

} // namespace sorrel
