#pragma once
// A USB bridge that the kernel presents as a tty. A reader thread per open bridge takes
// the bytes as they come and assembles whole reads (bytes that arrive without a pause
// longer than the read time-out, see BridgeFramer), so SI_Read never makes the caller wait: it takes a
// completed read or says there is none yet. An open bridge holds an flock on its tty,
// so a second reader (another Sorrel, even as root) is refused instead of sharing bytes.

#include "link/bridgeapi.h"
#include "link/bridgediscovery.h"
#include "link/bridgeframer.h"

#include <QStringList>
#include <array>
#include <atomic>
#include <functional>
#include <map>
#include <memory>

namespace sorrel {

class TtyBridgeApi : public BridgeApi {
public:
    using Locator = std::function<QStringList()>;
    // The clock stamps arrivals on the reader thread; the steady clock unless a test drives it.
    explicit TtyBridgeApi(Locator locate = &locateBridgeTtys, BridgeFramer::Clock clock = {});
    ~TtyBridgeApi() override;

    int SI_GetNumDevices(quint32 *numDevices) override;
    int SI_Open(quint32 deviceNum, SiHandle *handle) override;
    int SI_SetBaudRate(SiHandle handle, quint32 baudRate) override;
    int SI_SetTimeouts(quint32 readTimeoutMs, quint32 writeTimeoutMs) override;
    int SI_Read(SiHandle handle, void *buffer, quint32 bytesToRead, quint32 *bytesReturned) override;
    int SI_FlushBuffers(SiHandle handle, quint8 flushTransmit, quint8 flushReceive) override;
    int SI_Close(SiHandle handle) override;
    DeviceFailure lastOpenFailure() const override { return openFailure_; }
    QString countDetail() const override { return countDetail_; }

    // The device behind an open handle (empty if none), and whether it has gone away.
    QString devicePath(SiHandle handle) const;
    bool isLost(SiHandle handle) const;
    // Bytes an open bridge has taken from its line and not handed to SI_Read yet.
    qsizetype waitingBytes(SiHandle handle) const;

    struct Port;

private:
    Locator locate_;
    BridgeFramer::Clock clock_;
    std::map<SiHandle, std::unique_ptr<Port>> ports_;
    SiHandle lastHandle_ = 0;
    std::shared_ptr<std::atomic<quint32>> readTimeoutMs_;
    DeviceFailure openFailure_;
    QString countDetail_;
};

} // namespace sorrel
