#pragma once
// Finding USB bridges: one candidate per USB device whose ids are in the bridge table,
// read through the tty of its first interface.

#include <QList>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>

struct udev_device;

namespace sorrel {

struct BridgeUsbId {
    quint16 vendor;
    quint16 product;
};
// Single-port bridge chips that the kernel's driver for this chip family binds as a tty.
// Multi-port chips (EA70, EA71) are left out: nothing says which port a meter cable uses.
extern const std::array<BridgeUsbId, 5> kBridgeUsbIds;
bool isBridgeUsbId(quint16 vendor, quint16 product);

struct BridgeCandidate {
    QString path; // the tty node
    QString byId; // its /dev/serial/by-id/ link, empty when udev made none
    quint16 vendor = 0;
    quint16 product = 0;
    QString manufacturer;
    QString productName;
    QString serial;
    QString usbSysPath; // the USB device, one candidate each
};

// Every bridge present by its USB device, in port order.
QList<BridgeCandidate> findBridgeCandidates();
// Calls visit for each device udev lists in the subsystem ("tty", "hidraw"); the device is
// released after the call.
void forEachUdevDevice(const char *subsystem, const std::function<void(udev_device *)> &visit);

// The bridges present: exactly the device named by SORREL_BRIDGE when that is set (a
// path or a /dev/serial/by-id/ link), else one tty per recognised USB device.
QStringList locateBridgeTtys();

// When SORREL_BRIDGE names a device that is not there, the line saying so; else empty.
QString namedBridgeMissingDetail();

// "/dev/ttyUSB0 (10C4:EA60, USB to UART Bridge, serial 0001)"; just the path for a
// device udev does not know.
QString describeBridgeCandidate(const BridgeCandidate &c);
// The line under the refusal when several bridges are present: each one, and how to
// choose one.
QString bridgeChoiceDetail(const QStringList &paths);

} // namespace sorrel
