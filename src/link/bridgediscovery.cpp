#include "link/bridgediscovery.h"

#include "link/deviceaccess.h"
#include "link/serialportnames.h"

#include <QDir>
#include <QFileInfo>
#include <QMap>
#include <cerrno>
#include <libudev.h>
#include <optional>

namespace sorrel {

const std::array<BridgeUsbId, 5> kBridgeUsbIds{{
    {0x10C4, 0xEA60},
    {0x10C4, 0xEA61},
    {0x10C4, 0xEA63},
    {0x10C4, 0xEA7A},
    {0x10C4, 0xEA7B},
}};

bool isBridgeUsbId(quint16 vendor, quint16 product)
{
    for (const BridgeUsbId &id : kBridgeUsbIds)
        if (id.vendor == vendor && id.product == product)
            return true;
    return false;
}

namespace {

QString attr(udev_device *dev, const char *name)
{
    const char *v = udev_device_get_sysattr_value(dev, name);
    return v ? QString::fromUtf8(v).trimmed() : QString();
}

quint16 hexAttr(udev_device *dev, const char *name, bool *ok)
{
    return attr(dev, name).toUShort(ok, 16);
}

QString byIdLink(udev_device *tty, const QString &node)
{
    if (const char *links = udev_device_get_property_value(tty, "DEVLINKS"))
        for (const QString &l : QString::fromUtf8(links).split(u' ', Qt::SkipEmptyParts))
            if (l.startsWith(u"/dev/serial/by-id/"))
                return l;
    const QDir dir(QStringLiteral("/dev/serial/by-id"));
    for (const QFileInfo &l : dir.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot))
        if (l.isSymLink() && QFileInfo(l.symLinkTarget()).absoluteFilePath() == node)
            return l.absoluteFilePath();
    return {};
}

// The interface number of the tty's USB interface; ports of one device sort by it.
int interfaceNumber(udev_device *tty)
{
    udev_device *intf = udev_device_get_parent_with_subsystem_devtype(tty, "usb", "usb_interface");
    bool ok = false;
    const int n = intf ? attr(intf, "bInterfaceNumber").toInt(&ok, 16) : 0;
    return ok ? n : 0;
}

struct Found {
    BridgeCandidate candidate;
    int interface = 0;
};

// A tty on a recognised USB device, or nothing.
std::optional<Found> bridgeTty(udev_device *tty)
{
    const char *node = udev_device_get_devnode(tty);
    udev_device *usb = udev_device_get_parent_with_subsystem_devtype(tty, "usb", "usb_device");
    if (!node || !usb)
        return std::nullopt;
    bool okV = false, okP = false;
    const quint16 v = hexAttr(usb, "idVendor", &okV);
    const quint16 p = hexAttr(usb, "idProduct", &okP);
    if (!okV || !okP || !isBridgeUsbId(v, p))
        return std::nullopt;
    Found f;
    BridgeCandidate &c = f.candidate;
    c.path = QString::fromLocal8Bit(node);
    c.byId = byIdLink(tty, c.path);
    c.vendor = v;
    c.product = p;
    c.manufacturer = attr(usb, "manufacturer");
    c.productName = attr(usb, "product");
    c.serial = attr(usb, "serial");
    c.usbSysPath = QString::fromLocal8Bit(udev_device_get_syspath(usb));
    f.interface = interfaceNumber(tty);
    return f;
}

} // namespace

void forEachUdevDevice(const char *subsystem, const std::function<void(udev_device *)> &visit)
{
    udev *u = udev_new();
    if (!u)
        return;
    udev_enumerate *e = udev_enumerate_new(u);
    udev_enumerate_add_match_subsystem(e, subsystem);
    udev_enumerate_scan_devices(e);
    udev_list_entry *entry;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(e))
    {
        udev_device *dev = udev_device_new_from_syspath(u, udev_list_entry_get_name(entry));
        if (!dev)
            continue;
        visit(dev);
        udev_device_unref(dev);
    }
    udev_enumerate_unref(e);
    udev_unref(u);
}

QList<BridgeCandidate> findBridgeCandidates()
{
    QMap<QString, Found> byUsb; // one per USB device: its first interface's tty
    forEachUdevDevice("tty", [&](udev_device *dev) {
        if (std::optional<Found> f = bridgeTty(dev)) {
            auto it = byUsb.find(f->candidate.usbSysPath);
            const bool earlier = it != byUsb.end()
                && (f->interface < it->interface
                    || (f->interface == it->interface
                        && orderSerialPortNames({f->candidate.path, it->candidate.path}).first()
                               == f->candidate.path));
            if (it == byUsb.end() || earlier)
                byUsb.insert(f->candidate.usbSysPath, *f);
        }
    });

    QMap<QString, BridgeCandidate> byPath;
    for (const Found &f : byUsb)
        byPath.insert(f.candidate.path, f.candidate);
    QList<BridgeCandidate> out;
    for (const QString &path : orderSerialPortNames(byPath.keys()))
        out << byPath.value(path);
    return out;
}

QStringList locateBridgeTtys()
{
    const QString named = qEnvironmentVariable("SORREL_BRIDGE");
    if (!named.isEmpty())
        return QFileInfo::exists(named) ? QStringList{named} : QStringList{};
    QStringList paths;
    for (const BridgeCandidate &c : findBridgeCandidates())
        paths << c.path;
    return paths;
}

QString namedBridgeMissingDetail()
{
    const QString named = qEnvironmentVariable("SORREL_BRIDGE");
    if (named.isEmpty() || QFileInfo::exists(named))
        return {};
    return QStringLiteral("SORREL_BRIDGE names ") + deviceFailure(named, ENOENT).detail();
}

QString describeBridgeCandidate(const BridgeCandidate &c)
{
    if (c.usbSysPath.isEmpty())
        return c.path;
    QStringList parts{QStringLiteral("%1:%2")
                          .arg(c.vendor, 4, 16, QLatin1Char('0'))
                          .arg(c.product, 4, 16, QLatin1Char('0'))
                          .toUpper()};
    const QString name = QStringList{c.manufacturer, c.productName}.join(u' ').trimmed();
    if (!name.isEmpty())
        parts << name;
    if (!c.serial.isEmpty())
        parts << QStringLiteral("serial ") + c.serial;
    return QStringLiteral("%1 (%2)").arg(c.path, parts.join(QStringLiteral(", ")));
}

QString bridgeChoiceDetail(const QStringList &paths)
{
    const QList<BridgeCandidate> known = findBridgeCandidates();
    QStringList listed;
    QString example;
    for (const QString &path : paths) {
        BridgeCandidate c;
        c.path = path;
        for (const BridgeCandidate &k : known)
            if (k.path == path)
                c = k;
        listed << describeBridgeCandidate(c);
        if (example.isEmpty())
            example = c.byId.isEmpty() ? c.path : c.byId;
    }
    return QStringLiteral("Found %1 bridges: %2. Choose one with SORREL_BRIDGE=%3 (a device path or "
                          "its /dev/serial/by-id/ link).")
        .arg(paths.size())
        .arg(listed.join(QStringLiteral("; ")), example);
}

} // namespace sorrel
