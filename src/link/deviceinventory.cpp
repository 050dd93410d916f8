#include "link/deviceinventory.h"

#include "link/deviceaccess.h"
#include "link/serialportnames.h"

#include <QMap>
#include <QSerialPortInfo>
#include <cerrno>
#include <libudev.h>

namespace sorrel {

QString usbIdText(quint16 vendor, quint16 product)
{
    return QStringLiteral("%1:%2")
        .arg(vendor, 4, 16, QLatin1Char('0'))
        .arg(product, 4, 16, QLatin1Char('0'))
        .toUpper();
}

namespace {

constexpr int kComPorts = 4;

QList<SerialPortEntry> serialPorts(const QList<ComMapping> &com)
{
    QMap<QString, QSerialPortInfo> byPath;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        byPath.insert(info.systemLocation(), info);
    const QStringList ordered = orderSerialPortNames(byPath.keys());
    QList<SerialPortEntry> out;
    for (qsizetype i = 0; i < ordered.size(); ++i) {
        const QSerialPortInfo &info = byPath[ordered.at(i)];
        SerialPortEntry e;
        e.path = ordered.at(i);
        for (const ComMapping &m : com)
            if (m.path == e.path)
                e.com << m.n;
        if (i < kComPorts && com.at(i).fromEnvironment && com.at(i).path != e.path)
            e.overriddenCom = int(i) + 1;
        e.usb.known = info.hasVendorIdentifier() && info.hasProductIdentifier();
        e.usb.vendor = info.vendorIdentifier();
        e.usb.product = info.productIdentifier();
        e.usb.manufacturer = info.manufacturer();
        e.usb.serial = info.serialNumber();
        e.description = info.description();
        e.canOpen = canOpenReadWrite(e.path);
        out << e;
    }
    return out;
}

QList<ComMapping> comMappings()
{
    QList<ComMapping> out;
    for (int n = 1; n <= kComPorts; ++n) {
        const QByteArray var = "SORREL_COM" + QByteArray::number(n);
        out << ComMapping{n, comPortDeviceName(n), !qEnvironmentVariableIsEmpty(var.constData())};
    }
    return out;
}

QString text(const char *s)
{
    return s ? QString::fromUtf8(s).trimmed() : QString();
}

// A hidraw node's identity: the HID parent's HID_ID ("0003:000010C4:0000EA80"), HID_NAME
// and HID_UNIQ; the USB device's strings where it is one.
UsbIdentity hidIdentity(udev_device *raw)
{
    UsbIdentity id;
    udev_device *hid = udev_device_get_parent_with_subsystem_devtype(raw, "hid", nullptr);
    if (!hid)
        return id;
    const QStringList parts = text(udev_device_get_property_value(hid, "HID_ID")).split(u':');
    bool okV = false, okP = false;
    if (parts.size() == 3) {
        id.vendor = quint16(parts.at(1).toUInt(&okV, 16));
        id.product = quint16(parts.at(2).toUInt(&okP, 16));
    }
    id.known = okV && okP;
    id.productName = text(udev_device_get_property_value(hid, "HID_NAME"));
    id.serial = text(udev_device_get_property_value(hid, "HID_UNIQ"));
    if (udev_device *usb = udev_device_get_parent_with_subsystem_devtype(raw, "usb", "usb_device")) {
        id.manufacturer = text(udev_device_get_sysattr_value(usb, "manufacturer"));
        if (const QString p = text(udev_device_get_sysattr_value(usb, "product")); !p.isEmpty())
            id.productName = p;
        if (const QString s = text(udev_device_get_sysattr_value(usb, "serial")); !s.isEmpty())
            id.serial = s;
    }
    return id;
}

QList<HidEntry> hidDevices()
{
    QMap<QString, HidEntry> byPath;
    forEachUdevDevice("hidraw", [&](udev_device *dev) {
        if (const char *node = udev_device_get_devnode(dev)) {
            HidEntry h;
            h.path = QString::fromLocal8Bit(node);
            h.usb = hidIdentity(dev);
            h.canOpen = canOpenReadWrite(h.path);
            byPath.insert(h.path, h);
        }
    });
    QList<HidEntry> out;
    for (const QString &path : orderSerialPortNames(byPath.keys()))
        out << byPath.value(path);
    return out;
}

} // namespace

DeviceInventory takeDeviceInventory()
{
    DeviceInventory inv;
    inv.com = comMappings();
    inv.ports = serialPorts(inv.com);
    for (const BridgeCandidate &c : findBridgeCandidates())
        inv.bridges << BridgeEntry{c, canOpenReadWrite(c.path)};
    inv.bridgeFromEnvironment = qEnvironmentVariable("SORREL_BRIDGE");
    inv.hid = hidDevices();
    return inv;
}

QStringList DeviceInventory::accessProblems() const
{
    QStringList seen, out;
    auto add = [&](const QString &path, bool canOpen) {
        if (canOpen || seen.contains(path))
            return;
        seen << path;
        out << deviceFailure(path, EACCES).detail();
    };
    for (const BridgeEntry &b : bridges)
        add(b.candidate.path, b.canOpen);
    for (const SerialPortEntry &p : ports)
        add(p.path, p.canOpen);
    for (const HidEntry &h : hid)
        add(h.path, h.canOpen);
    return out;
}

} // namespace sorrel
