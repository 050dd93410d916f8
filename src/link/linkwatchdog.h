#pragma once
// ConTimer: every 100 ms it counts ticks since a decoder last took a frame; on the third
// it darkens the receive lamp and checks the HID cable for a silent instrument.

#include <QObject>
#include <QTimer>

namespace sorrel {

class HidLink;
class MeterPort;

class LinkWatchdog : public QObject {
    Q_OBJECT
public:
    static constexpr int kPeriodMs = 100;

    // hid may be null (no HID link, as in a headless tool). The timer starts at once.
    LinkWatchdog(MeterPort &session, HidLink *hid, QObject *parent = nullptr);

    void ConTimerTimer();
    QTimer &ConTimer() { return timer_; }

private:
    MeterPort &session_;
    HidLink *hid_;
    QTimer timer_;
};

} // namespace sorrel
