#pragma once
// The USB bridge library as the program calls it. Every call returns a status; 0 is
// success. Backends: a bridge the kernel presents as a tty (ttybridgeapi.h), the demo
// meter (demometer.h) through the same tty backend, and fakes in the tests.

#include "link/deviceaccess.h"

#include <QtGlobal>

namespace sorrel {

using SiHandle = quintptr; // 0: none

namespace SiStatus {
inline constexpr int Success = 0;
inline constexpr int InvalidHandle = 0x01;
inline constexpr int ReadError = 0x02;
inline constexpr int ReadTimedOut = 0x03;
inline constexpr int InvalidParameter = 0x04;
inline constexpr int DeviceNotFound = 0x05;
inline constexpr int DeviceIoFailed = 0x06;
inline constexpr int InvalidBaudRate = 0x07;
} // namespace SiStatus

class BridgeApi {
public:
    virtual ~BridgeApi() = default;
    virtual int SI_GetNumDevices(quint32 *numDevices) = 0;
    virtual int SI_Open(quint32 deviceNum, SiHandle *handle) = 0;
    virtual int SI_SetBaudRate(SiHandle handle, quint32 baudRate) = 0;
    // Applies to every handle, open or opened later.
    virtual int SI_SetTimeouts(quint32 readTimeoutMs, quint32 writeTimeoutMs) = 0;
    // Status 0 only with bytesToRead whole bytes in buffer.
    virtual int SI_Read(SiHandle handle, void *buffer, quint32 bytesToRead, quint32 *bytesReturned) = 0;
    virtual int SI_FlushBuffers(SiHandle handle, quint8 flushTransmit, quint8 flushReceive) = 0;
    virtual int SI_Close(SiHandle handle) = 0;

    // Beyond the vendor library, for the user: why the last SI_Open failed, and which
    // devices the last SI_GetNumDevices saw when it counted more than one (a line to add
    // under the message). Nothing when the backend cannot tell.
    virtual DeviceFailure lastOpenFailure() const { return {}; }
    virtual QString countDetail() const { return {}; }
};

} // namespace sorrel
