#pragma once
// What the links need of the meter session, and nothing more: where each link's frames go,
// and the few lamps and flags their timers read or set. The session implements it, so the
// links never include the layer above them.

#include "base/notifier.h"
#include "base/profile.h"

#include <QByteArrayView>
#include <QString>

namespace sorrel {

class MeterPort {
public:
    virtual Notifier &notifier() = 0;
    virtual const Profile &profile() const = 0;

    // Serial bytes, for the frame handler the profile binds.
    virtual void receiveSerial(QByteArrayView bytes) = 0;
    // A 32-digit frame text from the USB bridge.
    virtual void dispatchBridgeFrame(const QString &frameText) = 0;
    // A frame text of up to 32 digits from the HID cable.
    virtual void dispatchHidFrame(const QString &frameText) = 0;
    // The bridge poll shares the serial accumulators, and empties them after each read.
    virtual void clearSerialAccumulators() = 0;

    // The receive lamp shows "no data".
    virtual bool receiveLampDark() const = 0;
    virtual void darkenReceiveLamp() = 0;
    // While the report preview is open a bridge read is neither stored nor decoded.
    virtual bool previewOpen() const = 0;
    // Connection-timer ticks since a decoder last took a frame; the decoders zero it.
    virtual int idleTicks() const = 0;
    virtual void setIdleTicks(int ticks) = 0;

protected:
    ~MeterPort() = default;
};

} // namespace sorrel
