#include "link/linkwatchdog.h"

#include "link/hidlink.h"
#include "link/meterport.h"

namespace sorrel {

LinkWatchdog::LinkWatchdog(MeterPort &session, HidLink *hid, QObject *parent)
    : QObject(parent), session_(session), hid_(hid)
{
    connect(&timer_, &QTimer::timeout, this, &LinkWatchdog::ConTimerTimer);
    timer_.start(kPeriodMs);
}

void LinkWatchdog::ConTimerTimer()
{
    const int count = session_.idleTicks();
    if (count != 2) {
        session_.setIdleTicks(count + 1);
        return;
    }
    if (hid_ && hid_->idleReportCount() >= HidLink::kSilentReportLimit) {
        // Reset before the box: ticks keep coming while it is open.
        hid_->stopSilentCable();
        session_.notifier().information(QStringLiteral(
            "USB interface cable is connected properly, please check the USB connection status of the DMM."));
    }
    session_.darkenReceiveLamp();
    session_.setIdleTicks(0);
}

} // namespace sorrel
