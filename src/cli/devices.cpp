// sorrel-cli devices: what the program can see of serial ports, USB bridges and HID
// devices, with what a user needs to choose one and whether this user may open it.

#include "cli/commands.h"
#include "link/deviceinventory.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>

namespace sorrel::cli {

namespace {

const char kUsage[] = "Usage: sorrel-cli devices [--json]\n"
                      "Lists the serial ports (with the COM n each opens today), the USB bridge candidates\n"
                      "and the HID devices this program sees, and whether this user can open each.\n"
                      "  --json   one JSON object instead of text\n"
                      "Choose a bridge with SORREL_BRIDGE=DEV (or log --bridge DEV), a port with\n"
                      "SORREL_COMn=DEV (or log --port DEV); DEV may be a /dev/serial/by-id/ link.\n"
                      "Exit status: 0 listed (also when nothing is found), 2 bad options\n";

QString access(bool canOpen)
{
    return canOpen ? QStringLiteral("can open") : QStringLiteral("no access for this user");
}

QString identity(const UsbIdentity &id, const QString &fallbackName = {})
{
    QStringList parts;
    if (id.known)
        parts << usbIdText(id.vendor, id.product);
    QString name = QStringList{id.manufacturer, id.productName}.join(u' ').trimmed();
    if (name.isEmpty())
        name = fallbackName;
    if (!name.isEmpty())
        parts << name;
    if (!id.serial.isEmpty())
        parts << QStringLiteral("serial ") + id.serial;
    return parts.join(QStringLiteral(", "));
}

QStringList portLines(const DeviceInventory &inv)
{
    QStringList out;
    for (const SerialPortEntry &p : inv.ports) {
        QStringList com;
        for (int n : p.com)
            com << QStringLiteral("COM %1").arg(n);
        QString line = QStringLiteral("  %1  %2")
                           .arg(p.path,
                                com.isEmpty() ? QStringLiteral("no COM n") : com.join(QStringLiteral(", ")));
        if (p.overriddenCom)
            line += QStringLiteral(" (would be COM %1; SORREL_COM%1 overrides it)").arg(p.overriddenCom);
        if (const QString id = identity(p.usb, p.description); !id.isEmpty())
            line += QStringLiteral("  ") + id;
        out << line + QStringLiteral("  ") + access(p.canOpen);
    }
    for (const ComMapping &m : inv.com)
        if (m.fromEnvironment)
            out << QStringLiteral("  COM %1 = %2 (SORREL_COM%1)").arg(m.n).arg(m.path);
    return out;
}

QStringList bridgeLines(const DeviceInventory &inv)
{
    QStringList out;
    for (const BridgeEntry &b : inv.bridges) {
        QString line = QStringLiteral("  ") + describeBridgeCandidate(b.candidate);
        if (!b.candidate.byId.isEmpty())
            line += QStringLiteral("  ") + b.candidate.byId;
        out << line + QStringLiteral("  ") + access(b.canOpen);
    }
    if (!inv.bridgeFromEnvironment.isEmpty())
        out << QStringLiteral("  SORREL_BRIDGE=%1 chooses the bridge").arg(inv.bridgeFromEnvironment);
    else if (inv.bridges.size() > 1)
        out << QStringLiteral("  several bridges: choose one with SORREL_BRIDGE=DEV");
    return out;
}

QStringList hidLines(const DeviceInventory &inv)
{
    QStringList out;
    for (const HidEntry &h : inv.hid) {
        QString line = QStringLiteral("  ") + h.path;
        if (const QString id = identity(h.usb); !id.isEmpty())
            line += QStringLiteral("  ") + id;
        out << line + QStringLiteral("  ") + access(h.canOpen);
    }
    return out;
}

QString textReport(const DeviceInventory &inv)
{
    QStringList lines;
    auto section = [&lines](const QString &title, const QStringList &body) {
        lines << title;
        lines << (body.isEmpty() ? QStringList{QStringLiteral("  none")} : body);
    };
    section(QStringLiteral("Serial ports:"), portLines(inv));
    section(QStringLiteral("USB bridges:"), bridgeLines(inv));
    section(QStringLiteral("HID devices:"), hidLines(inv));
    if (inv.empty())
        lines << QStringLiteral("No serial port, USB bridge or HID device found.");
    const QStringList problems = inv.accessProblems();
    if (!problems.isEmpty()) {
        lines << QStringLiteral("Likely cause if the meter does not open:");
        for (const QString &p : problems)
            lines << QStringLiteral("  ") + p;
    }
    return lines.join(u'\n') + u'\n';
}

QJsonObject usbJson(const UsbIdentity &id)
{
    QJsonObject o;
    if (id.known) {
        o[u"vendorId"] = QStringLiteral("%1").arg(id.vendor, 4, 16, QLatin1Char('0')).toUpper();
        o[u"productId"] = QStringLiteral("%1").arg(id.product, 4, 16, QLatin1Char('0')).toUpper();
    }
    o[u"manufacturer"] = id.manufacturer;
    o[u"product"] = id.productName;
    o[u"serial"] = id.serial;
    return o;
}

QJsonObject jsonReport(const DeviceInventory &inv)
{
    QJsonArray ports, com, bridges, hid;
    for (const SerialPortEntry &p : inv.ports) {
        QJsonObject o = usbJson(p.usb);
        o[u"path"] = p.path;
        o[u"com"] = QJsonArray::fromVariantList({p.com.begin(), p.com.end()});
        if (p.overriddenCom)
            o[u"overriddenCom"] = p.overriddenCom;
        o[u"description"] = p.description;
        o[u"canOpen"] = p.canOpen;
        ports.append(o);
    }
    for (const ComMapping &m : inv.com)
        com.append(QJsonObject{{QStringLiteral("com"), m.n},
                               {QStringLiteral("path"), m.path},
                               {QStringLiteral("fromEnvironment"), m.fromEnvironment}});
    for (const BridgeEntry &b : inv.bridges) {
        const BridgeCandidate &c = b.candidate;
        UsbIdentity id{true, c.vendor, c.product, c.manufacturer, c.productName, c.serial};
        QJsonObject o = usbJson(id);
        o[u"path"] = c.path;
        o[u"byId"] = c.byId;
        o[u"canOpen"] = b.canOpen;
        bridges.append(o);
    }
    for (const HidEntry &h : inv.hid) {
        QJsonObject o = usbJson(h.usb);
        o[u"path"] = h.path;
        o[u"canOpen"] = h.canOpen;
        hid.append(o);
    }
    QJsonObject o;
    o[u"serialPorts"] = ports;
    o[u"comPorts"] = com;
    o[u"bridges"] = bridges;
    o[u"bridgeEnvironment"] = inv.bridgeFromEnvironment;
    o[u"hidDevices"] = hid;
    o[u"problems"] = QJsonArray::fromStringList(inv.accessProblems());
    return o;
}

} // namespace

int runDevices(const QStringList &args)
{
    bool json = false;
    for (const QString &a : args) {
        if (a == u"--help" || a == u"-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (a != u"--json") {
            std::fprintf(stderr, "sorrel-cli devices: unknown option '%s'; valid options: --json\n",
                         a.toLocal8Bit().constData());
            return 2;
        }
        json = true;
    }
    const DeviceInventory inv = takeDeviceInventory();
    const QByteArray out = json ? QJsonDocument(jsonReport(inv)).toJson(QJsonDocument::Indented)
                                : textReport(inv).toLocal8Bit();
    std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
    return 0;
}

} // namespace sorrel::cli
