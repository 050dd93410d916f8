#pragma once
// What the program can see of the devices a meter may hang on, with what a user needs to
// pick one: serial ports and the COM n each is today, bridge candidates, HID devices,
// and whether this user may open each.

#include "link/bridgediscovery.h"

#include <QList>
#include <QString>

namespace sorrel {

struct UsbIdentity {
    bool known = false; // false: not a USB device, or ids not readable
    quint16 vendor = 0;
    quint16 product = 0;
    QString manufacturer;
    QString productName;
    QString serial;
};

struct SerialPortEntry {
    QString path;
    QList<int> com;        // the COM n that open it today
    int overriddenCom = 0; // its place in the port order, taken over by SORREL_COMn; 0 none
    UsbIdentity usb;
    QString description;
    bool canOpen = false;
};

struct ComMapping {
    int n = 0;
    QString path;                 // empty: COM n opens nothing
    bool fromEnvironment = false; // SORREL_COMn names it
};

struct BridgeEntry {
    BridgeCandidate candidate;
    bool canOpen = false;
};

struct HidEntry {
    QString path;
    UsbIdentity usb;
    bool canOpen = false;
};

struct DeviceInventory {
    QList<SerialPortEntry> ports;
    QList<ComMapping> com; // COM 1 .. COM 4
    QList<BridgeEntry> bridges;
    QString bridgeFromEnvironment; // SORREL_BRIDGE, when set
    QList<HidEntry> hid;

    bool empty() const { return ports.isEmpty() && bridges.isEmpty() && hid.isEmpty(); }
    // One line per device seen that this user cannot open, saying what to do.
    QStringList accessProblems() const;
};

DeviceInventory takeDeviceInventory();

// "10C4:EA60"
QString usbIdText(quint16 vendor, quint16 product);

} // namespace sorrel
