#pragma once
// Why a device did not open, told so that a user can act on it: the device path, the
// system's reason, and for the usual causes what to do (no rights: the udev rule or the
// dialout group; held by another program: which one, where its lock says).

#include "base/outcome.h"

#include <QString>

namespace sorrel {

enum class DeviceProblem {
    None,
    Missing,    // not there (or gone): worth trying again later
    Permission, // there, but this user may not open it
    Busy,       // held by another program
    Other,
};

struct DeviceFailure {
    QString path;
    DeviceProblem problem = DeviceProblem::None;
    int error = 0;        // errno, 0 when not known
    qint64 holderPid = 0; // the program holding it, 0 when not known

    bool failed() const { return problem != DeviceProblem::None; }
    // Worth retrying: the device may come (back).
    bool retryable() const { return problem == DeviceProblem::Missing; }
    // The line added under a message: path, reason, what to do.
    QString detail() const;
};

// The failure behind an errno from opening or locking path.
DeviceFailure deviceFailure(const QString &path, int error);

// Opens path the way a link would and says why that fails (a success gives None).
// Also reports a device locked by another program (flock or a serial lock file).
DeviceFailure probeDeviceOpen(const QString &path);

// Takes the advisory lock every Sorrel reader (and QSerialPort-based tools that flock)
// honours; false with errno set when another holder has it.
bool lockDevice(int fd);

// The process holding an flock on path, from /proc/locks; 0 when none is seen.
qint64 flockHolder(const QString &path);
// The process named in the serial lock file (LCK..name) that QSerialPort and the
// classic serial tools leave; 0 when there is no live one.
qint64 serialLockFileHolder(const QString &path);

// Whether this user may open path for reading and writing (no open is made).
bool canOpenReadWrite(const QString &path);

} // namespace sorrel
