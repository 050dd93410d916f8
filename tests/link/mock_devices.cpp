// Device discovery through the real libudev (and hidapi) code over a mocked sysfs and
// /dev: umockdev's test bed. Runs under umockdev-wrapper, which preloads the library
// that sends /sys, /dev and the udev netlink socket to the test bed; tty nodes there are
// pseudo-terminals whose other end the test writes to.

#include "app/metersession.h"
#include "link/bridgelink.h"
#include "link/hidlink.h"
#include "link/meterlinks.h"
#include "link/ternframeencoder.h"
#include "link/ttybridgeapi.h"
#include "link/unreadabledevice.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <umockdev.h>
#include <unistd.h>

using namespace sorrel;

namespace {

const QString kCli = QStringLiteral(SORREL_BINARY_DIR "/sorrel-cli");
const QString kNotConnected = QStringLiteral(
    "USB interface cable is not connected properly, please check and re-try.");
const QString kProduct = QStringLiteral("USB to UART Bridge");

struct MockUsb {
    quint16 vendor = 0x10C4;
    quint16 product = 0xEA60;
    int ports = 1;
    QString serial;
};

QByteArray hex4(quint16 v)
{
    return QByteArray::number(v, 16).rightJustified(4, '0');
}

// One test bed per test: created empty, gone with the object.
class Testbed {
public:
    Testbed() : tb_(umockdev_testbed_new()) {}
    ~Testbed() { g_object_unref(tb_); }
    Testbed(const Testbed &) = delete;
    Testbed &operator=(const Testbed &) = delete;

    QString root() const
    {
        gchar *dir = umockdev_testbed_get_root_dir(tb_);
        const QString out = QString::fromLocal8Bit(dir);
        g_free(dir);
        return out;
    }

    // A USB serial chip with its interfaces and one tty each: ttyUSB<n> numbered on.
    QStringList addSerialChip(const MockUsb &chip)
    {
        const int bus = ++usbDevices_;
        const QByteArray name = "1-" + QByteArray::number(bus);
        const QByteArray usb = add("usb", name, {},
                                   {{"idVendor", hex4(chip.vendor)},
                                    {"idProduct", hex4(chip.product)},
                                    {"manufacturer", "Acme"},
                                    {"product", kProduct.toUtf8()},
                                    {"serial", chip.serial.toUtf8()}},
                                   {{"DEVTYPE", "usb_device"}});
        QStringList nodes;
        for (int i = 0; i < chip.ports; ++i) {
            const QByteArray intf = add("usb", name + ":1." + QByteArray::number(i), usb,
                                        {{"bInterfaceNumber", "0" + QByteArray::number(i)}},
                                        {{"DEVTYPE", "usb_interface"}});
            const QByteArray tty = "ttyUSB" + QByteArray::number(ttys_++);
            const QByteArray byId = "/dev/serial/by-id/usb-Acme_Bridge_" + chip.serial.toUtf8() + "-if0"
                                    + QByteArray::number(i) + "-port0";
            // The "dev" numbers make the test bed create the node (a pseudo-terminal for a tty).
            add("tty", tty, intf, {{"dev", "188:" + QByteArray::number(ttys_ - 1)}},
                {{"DEVNAME", "/dev/" + tty}, {"DEVLINKS", byId}});
            nodes << QStringLiteral("/dev/") + QString::fromLatin1(tty);
        }
        return nodes;
    }

    // A HID cable: USB device, interface, HID device, hidraw node. Returns the hidraw syspath.
    QByteArray addHidCable(const QByteArray &node, quint16 vendor, quint16 product, const QByteArray &serial)
    {
        const QByteArray name = "2-" + QByteArray::number(++usbDevices_);
        const QByteArray usb = add("usb", name, {},
                                   {{"idVendor", hex4(vendor)},
                                    {"idProduct", hex4(product)},
                                    {"manufacturer", "WCH"},
                                    {"product", "USB to Serial"},
                                    {"serial", serial}},
                                   {{"DEVTYPE", "usb_device"}});
        const QByteArray intf = add("usb", name + ":1.0", usb, {{"bInterfaceNumber", "00"}},
                                    {{"DEVTYPE", "usb_interface"}});
        const QByteArray hidId = "0003:0000" + hex4(vendor).toUpper() + ":0000" + hex4(product).toUpper();
        const QByteArray hid = add("hid", hidId + ".0001", intf, {},
                                   {{"HID_ID", hidId}, {"HID_NAME", "WCH USB to Serial"}, {"HID_UNIQ", serial}});
        return add("hidraw", node, hid, {{"dev", "240:" + QByteArray::number(usbDevices_)}},
                   {{"DEVNAME", "/dev/" + node}});
    }

    // Lets another user reach the test bed: its folder, and the sockets through which the
    // preload library hands device ioctls to the test bed (it ends a process that cannot).
    void openToAll()
    {
        ::chmod(root().toLocal8Bit().constData(), 0755);
        const QDir ioctl(root() + QStringLiteral("/ioctl"));
        for (const QFileInfo &f : ioctl.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot))
            ::chmod(f.absoluteFilePath().toLocal8Bit().constData(), 0777);
    }

    void uevent(const QByteArray &syspath, const char *action)
    {
        umockdev_testbed_uevent(tb_, syspath.constData(), action);
    }
    void remove(const QByteArray &syspath) { umockdev_testbed_remove_device(tb_, syspath.constData()); }
    int masterFd(const QString &node) { return umockdev_testbed_get_dev_fd(tb_, node.toLocal8Bit().constData()); }

private:
    using Pairs = QList<std::pair<QByteArray, QByteArray>>;
    // A device as umockdev's record text: a DEVNAME property gives it a node in /dev
    // ("N:"), which for a tty is a pseudo-terminal. Returns the syspath.
    QByteArray add(const char *subsystem, const QByteArray &name, const QByteArray &parent, const Pairs &attrs,
                   const Pairs &props)
    {
        const QByteArray sysPath = (parent.isEmpty() ? QByteArray("/sys/devices") : parent) + '/' + name;
        QByteArray record = "P: " + sysPath.mid(4) + '\n';
        for (const auto &[k, v] : props)
            if (k == "DEVNAME")
                record += "N: " + v.mid(5) + '\n';
        record += QByteArray("E: SUBSYSTEM=") + subsystem + '\n';
        for (const auto &[k, v] : props)
            record += "E: " + k + '=' + v + '\n';
        for (const auto &[k, v] : attrs)
            record += "A: " + k + '=' + v + '\n';
        GError *error = nullptr;
        if (!umockdev_testbed_add_from_string(tb_, record.constData(), &error)) {
            qWarning("test bed refused %s: %s", record.constData(), error ? error->message : "?");
            g_clear_error(&error);
        }
        return sysPath;
    }

    UMockdevTestbed *tb_;
    int usbDevices_ = 0;
    int ttys_ = 0;
};

struct CliRun {
    int exitCode = -1;
    QString out, err;
};

// sorrel-cli in the test bed (the preload and the test bed's place are in the environment).
CliRun runCli(const QStringList &args, const QStringList &prefix = {})
{
    QProcess p;
    const QStringList all = prefix + QStringList{kCli} + args;
    p.start(all.first(), all.mid(1));
    CliRun r;
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    r.err = QString::fromLocal8Bit(p.readAllStandardError());
    return r;
}

// Runs as nobody where the test can drop its rights (root with setpriv); else, not
// being root, as the test's own user.
std::optional<QStringList> unprivilegedPrefix()
{
    if (::geteuid() != 0)
        return QStringList{};
    const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
    if (setpriv.isEmpty())
        return std::nullopt;
    return QStringList{setpriv, QStringLiteral("--reuid=nobody"), QStringLiteral("--regid=nogroup"),
                       QStringLiteral("--clear-groups")};
}

struct LinkRig {
    explicit LinkRig(std::unique_ptr<BridgeApi> api = std::make_unique<TtyBridgeApi>())
        : session(resolveProfile(ModelFlags::shipped()), QStringLiteral("."), notifier),
          links(session, options(std::move(api)))
    {}
    static MeterLinks::Options options(std::unique_ptr<BridgeApi> api)
    {
        MeterLinks::Options o;
        o.bridgeApi = std::move(api);
        return o;
    }
    void usbDown()
    {
        links.toggles().setDown(Toggle::USB, true);
        links.bridge().USBClick();
    }
    RecordingNotifier notifier;
    MeterSession session;
    MeterLinks links;
};

} // namespace

class TestMockDevices : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanup()
    {
        for (const char *var : {"SORREL_BRIDGE", "SORREL_COM1", "SORREL_COM2"})
            qunsetenv(var);
    }
    void bridgeRecognition_data();
    void bridgeRecognition();
    void bridgeReadEndToEnd();
    void twoBridgesRefusedWithBothListed();
    void bridgeChosenByStableLink();
    void unreadableBridge();
    void hidrawArrivalAndRemoval();
    void devicesCommandListsWhatIsThere();
};

void TestMockDevices::initTestCase()
{
    if (!qgetenv("LD_PRELOAD").contains("libumockdev-preload"))
        QFAIL("run under umockdev-wrapper (or umockdev-run): the preload library is missing");
}

void TestMockDevices::bridgeRecognition_data()
{
    QTest::addColumn<QList<MockUsb>>("chips");
    QTest::addColumn<QStringList>("bridges");
    const QStringList first{QStringLiteral("/dev/ttyUSB0")};
    for (quint16 p : {0xEA60, 0xEA61, 0xEA63, 0xEA7A, 0xEA7B})
        QTest::addRow("single-port 10C4:%04X", p) << QList<MockUsb>{{0x10C4, p, 1, "A"}} << first;
    QTest::newRow("dual-port EA70") << QList<MockUsb>{{0x10C4, 0xEA70, 2, "A"}} << QStringList{};
    QTest::newRow("quad-port EA71") << QList<MockUsb>{{0x10C4, 0xEA71, 4, "A"}} << QStringList{};
    QTest::newRow("dead id EA80") << QList<MockUsb>{{0x10C4, 0xEA80, 1, "A"}} << QStringList{};
    QTest::newRow("unrecognised 0403:6001") << QList<MockUsb>{{0x0403, 0x6001, 1, "A"}} << QStringList{};
    QTest::newRow("bridge beside a quad-port chip and an unknown one")
        << QList<MockUsb>{{0x10C4, 0xEA71, 4, "Q"}, {0x0403, 0x6001, 1, "F"}, {0x10C4, 0xEA60, 1, "B"}}
        << QStringList{QStringLiteral("/dev/ttyUSB5")};
}

void TestMockDevices::bridgeRecognition()
{
    QFETCH(QList<MockUsb>, chips);
    QFETCH(QStringList, bridges);
    Testbed tb;
    for (const MockUsb &c : chips)
        tb.addSerialChip(c);
    QCOMPARE(locateBridgeTtys(), bridges);
    TtyBridgeApi api;
    quint32 n = 99;
    QCOMPARE(api.SI_GetNumDevices(&n), 0);
    QCOMPARE(n, quint32(bridges.size()));
}

void TestMockDevices::bridgeReadEndToEnd()
{
    Testbed tb;
    tb.addSerialChip({0x10C4, 0xEA60, 1, "0001"});
    LinkRig rig;
    rig.usbDown();
    QCOMPARE(rig.notifier.texts(), QStringList{});
    QVERIFY(rig.links.bridge().opened());
    QCOMPARE(rig.links.bridge().status(), SiStatus::Success);
    const auto &api = static_cast<const TtyBridgeApi &>(rig.links.bridgeApi());
    QCOMPARE(api.devicePath(rig.links.bridge().handle()), QStringLiteral("/dev/ttyUSB0"));

    TernDisplay shown = *TernDisplay::fromText(QStringLiteral("12.34"));
    shown.set(TernBit::LUX);
    const QByteArray frame = encodeTernBridgeFrame(shown);
    const int master = tb.masterFd(QStringLiteral("/dev/ttyUSB0"));
    QVERIFY(master >= 0);
    // The poll flushes what it did not take; write again until a frame gets through whole.
    auto decoded = [&] { return rig.session.state().currentValue == u"12.34"; };
    QElapsedTimer clock;
    clock.start();
    while (!decoded() && clock.elapsed() < 20000) {
        QCOMPARE(::write(master, frame.constData(), size_t(frame.size())), ssize_t(frame.size()));
        [[maybe_unused]] const bool done = QTest::qWaitFor(decoded, 500);
    }
    QCOMPARE(rig.session.state().currentValue, QStringLiteral("12.34"));
    QVERIFY(!rig.session.state().currentUnit.isEmpty());
}

void TestMockDevices::twoBridgesRefusedWithBothListed()
{
    Testbed tb;
    tb.addSerialChip({0x10C4, 0xEA60, 1, "A1"});
    tb.addSerialChip({0x10C4, 0xEA60, 1, "B2"});
    const QString listed =
        QStringLiteral("Found 2 bridges: /dev/ttyUSB0 (10C4:EA60, Acme %1, serial A1); /dev/ttyUSB1 (10C4:EA60, "
                       "Acme %1, serial B2). Choose one with SORREL_BRIDGE=/dev/serial/by-id/"
                       "usb-Acme_Bridge_A1-if00-port0 (a device path or its /dev/serial/by-id/ link).")
            .arg(kProduct);
    LinkRig rig;
    rig.usbDown();
    QCOMPARE(rig.notifier.texts(), QStringList{kNotConnected + u'\n' + listed});
    QVERIFY(!rig.links.toggles().isDown(Toggle::USB));

    // The command line takes none of them either, and says the same.
    QTemporaryDir dir;
    const CliRun r = runCli({QStringLiteral("log"), QStringLiteral("--bridge"), QStringLiteral("--out"),
                             dir.filePath(QStringLiteral("r.txt"))});
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(r.err, kNotConnected + u'\n' + listed + u'\n');

    qputenv("SORREL_BRIDGE", "/dev/ttyUSB1");
    QCOMPARE(locateBridgeTtys(), QStringList{QStringLiteral("/dev/ttyUSB1")});
}

void TestMockDevices::bridgeChosenByStableLink()
{
    Testbed tb;
    tb.addSerialChip({0x10C4, 0xEA60, 1, "A1"});
    tb.addSerialChip({0x10C4, 0xEA60, 1, "B2"});
    // udev's link, as the test bed does not make it.
    const QString byId = QStringLiteral("/dev/serial/by-id/usb-Acme_Bridge_B2-if00-port0");
    QVERIFY(QDir().mkpath(tb.root() + QStringLiteral("/dev/serial/by-id")));
    QVERIFY(QFile::link(QStringLiteral("../../ttyUSB1"), tb.root() + byId));
    qputenv("SORREL_BRIDGE", byId.toLocal8Bit());
    LinkRig rig;
    rig.usbDown();
    QCOMPARE(rig.notifier.texts(), QStringList{});
    QVERIFY(rig.links.bridge().opened());
    QCOMPARE(rig.links.bridge().status(), SiStatus::Success);
}

void TestMockDevices::unreadableBridge()
{
    Testbed tb;
    tb.addSerialChip({0x10C4, 0xEA60, 1, "0001"});
    const QString permission = QStringLiteral(
        "/dev/ttyUSB0: Permission denied. To use it without root, install the udev rule 60-sorrel.rules, or run "
        "'sudo usermod -aG dialout $USER' and log in again.");
    tb.openToAll();
    {
        test::UnreadableDevice unreadable(QStringLiteral("/dev/ttyUSB0"));
        if (!unreadable.active())
            QSKIP("cannot make the device unreadable here");
        LinkRig rig;
        rig.usbDown();
        QCOMPARE(rig.notifier.texts(), QStringList{QStringLiteral("Open the equipments mistake\n") + permission});
    }

    const std::optional<QStringList> asUser = unprivilegedPrefix();
    if (!asUser)
        QSKIP("cannot drop privileges here (root without setpriv)");
    ::chmod("/dev/ttyUSB0", ::geteuid() == 0 ? 0600 : 0000);
    QTemporaryDir dir;
    ::chmod(dir.path().toLocal8Bit().constData(), 0777);
    const CliRun r = runCli({QStringLiteral("log"), QStringLiteral("--bridge"), QStringLiteral("--out"),
                             dir.filePath(QStringLiteral("r.txt"))},
                            *asUser);
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(r.err, QStringLiteral("Open the equipments mistake\n") + permission + u'\n');

    const CliRun listed = runCli({QStringLiteral("devices")}, *asUser);
    QCOMPARE(listed.exitCode, 0);
    QVERIFY2(listed.out.contains(u"/dev/ttyUSB0 (10C4:EA60") && listed.out.contains(u"no access for this user"),
             qPrintable(listed.out));
    QVERIFY2(listed.out.contains(QStringLiteral("Likely cause if the meter does not open:\n  ") + permission),
             qPrintable(listed.out));
}

void TestMockDevices::hidrawArrivalAndRemoval()
{
    Testbed tb;
    LinkRig rig;
    QCOMPARE(rig.links.hid().items().size(), 0);
    const QByteArray raw = tb.addHidCable("hidraw0", 0x1A86, 0xE008, "");
    tb.uevent(raw, "add");
    QTRY_COMPARE(rig.links.hid().items().size(), 1);
    QCOMPARE(rig.links.hid().items().first().text, QStringLiteral("USB to Serial"));
    QCOMPARE(rig.links.hid().selectedIndex(), 0); // the cable, by its description

    tb.uevent(raw, "remove");
    tb.remove(raw);
    QTRY_COMPARE(rig.links.hid().items().size(), 0);
}

void TestMockDevices::devicesCommandListsWhatIsThere()
{
    Testbed tb;
    // An empty tty class: without it the serial port listing falls back to the real /dev.
    QVERIFY(QDir().mkpath(tb.root() + QStringLiteral("/sys/class/tty")));
    const CliRun none = runCli({QStringLiteral("devices")});
    QCOMPARE(none.exitCode, 0);
    QVERIFY2(none.out.contains(u"No serial port, USB bridge or HID device found."), qPrintable(none.out));

    tb.addSerialChip({0x10C4, 0xEA60, 1, "0001"});
    tb.addHidCable("hidraw0", 0x1A86, 0xE008, "C3");
    const CliRun r = runCli({QStringLiteral("devices"), QStringLiteral("--json")});
    QCOMPARE(r.exitCode, 0);
    const QJsonObject o = QJsonDocument::fromJson(r.out.toUtf8()).object();
    const QJsonArray bridges = o[u"bridges"].toArray();
    QCOMPARE(bridges.size(), 1);
    const QJsonObject b = bridges.first().toObject();
    QCOMPARE(b[u"path"].toString(), QStringLiteral("/dev/ttyUSB0"));
    QCOMPARE(b[u"vendorId"].toString() + u':' + b[u"productId"].toString(), QStringLiteral("10C4:EA60"));
    QCOMPARE(b[u"serial"].toString(), QStringLiteral("0001"));
    QCOMPARE(b[u"byId"].toString(), QStringLiteral("/dev/serial/by-id/usb-Acme_Bridge_0001-if00-port0"));
    QVERIFY(b[u"canOpen"].toBool());
    const QJsonArray hid = o[u"hidDevices"].toArray();
    QCOMPARE(hid.size(), 1);
    const QJsonObject h = hid.first().toObject();
    QCOMPARE(h[u"path"].toString(), QStringLiteral("/dev/hidraw0"));
    QCOMPARE(h[u"vendorId"].toString() + u':' + h[u"productId"].toString(), QStringLiteral("1A86:E008"));
    QCOMPARE(h[u"manufacturer"].toString(), QStringLiteral("WCH"));
    QCOMPARE(h[u"product"].toString(), QStringLiteral("USB to Serial"));
    QCOMPARE(h[u"serial"].toString(), QStringLiteral("C3"));

    // COM 1 would open the bridge's tty; the environment sends COM 1 elsewhere and
    // COM 2 to it.
    qputenv("SORREL_COM1", "/dev/ttyS9");
    qputenv("SORREL_COM2", "/dev/ttyUSB0");
    const QJsonObject mapped = QJsonDocument::fromJson(runCli({"devices", "--json"}).out.toUtf8()).object();
    const QJsonObject port = mapped[u"serialPorts"].toArray().first().toObject();
    QCOMPARE(port[u"path"].toString(), QStringLiteral("/dev/ttyUSB0"));
    QCOMPARE(port[u"com"].toArray(), QJsonArray{2});
    QCOMPARE(port[u"overriddenCom"].toInt(), 1);
    const QJsonArray com = mapped[u"comPorts"].toArray();
    QCOMPARE(com.size(), 4);
    QCOMPARE(com[0].toObject()[u"path"].toString(), QStringLiteral("/dev/ttyS9"));
    QVERIFY(com[0].toObject()[u"fromEnvironment"].toBool());
    QVERIFY(com[1].toObject()[u"fromEnvironment"].toBool());
    QVERIFY(!com[2].toObject()[u"fromEnvironment"].toBool());

    const CliRun text = runCli({QStringLiteral("devices")});
    QVERIFY2(text.out.contains(QStringLiteral("  /dev/ttyUSB0 (10C4:EA60, Acme %1, serial 0001)").arg(kProduct))
                 && text.out.contains(u"  /dev/hidraw0  1A86:E008, WCH USB to Serial, serial C3  can open")
                 && text.out.contains(u"  /dev/ttyUSB0  COM 2 (would be COM 1; SORREL_COM1 overrides it)")
                 && text.out.contains(u"  COM 1 = /dev/ttyS9 (SORREL_COM1)"),
             qPrintable(text.out));
}

QTEST_MAIN(TestMockDevices)
#include "mock_devices.moc"
