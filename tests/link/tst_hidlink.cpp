#include "base/notifier.h"
#include "base/profile.h"
#include "link/fakehidbackend.h"
#include "link/hidapibackend.h"
#include "link/hiddevicecontroller.h"
#include "link/hidlink.h"
#include "link/ternframeencoder.h"
#include "link/togglegroup.h"

#include <QDeadlineTimer>
#include <QSignalSpy>
#include <QTest>
#include <stdexcept>
#include <thread>

using namespace sorrel;

namespace {

// A cable report: count byte (high digit F as the cable sends it), then the payload.
QByteArray cableReport(int count, const QByteArray &payload)
{
    return char(0xF0 | count) + payload;
}

QByteArray bytes(std::initializer_list<int> list)
{
    QByteArray out;
    for (int b : list)
        out.append(char(b));
    return out;
}

struct Rig {
    explicit Rig(const char *profileName = "osprey")
        : profile(resolveProfile(*parseModelFlags(QString::fromLatin1(profileName))))
    {}
    void start()
    {
        controller = std::make_unique<TJvHidDeviceController>(backend);
        link = std::make_unique<HidLink>(*controller, toggles, notifier, profile);
        QObject::connect(link.get(), &HidLink::frameReceived, link.get(),
                         [this](const QString &f) { frames << f; });
    }
    void usbConDown()
    {
        toggles.setDown(Toggle::USBCon, true);
        link->USBConClick();
    }
    QStringList itemTexts() const
    {
        QStringList t;
        for (const auto &i : link->items())
            t << i.text;
        return t;
    }

    FakeHidBackend backend;
    std::unique_ptr<TJvHidDeviceController> controller;
    ToggleGroup toggles;
    RecordingNotifier notifier;
    Profile profile;
    std::unique_ptr<HidLink> link;
    QStringList frames;
};

} // namespace

class TestHidLink : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void burstsThroughTheCable_data();
    void burstsThroughTheCable();
    void rateReport();
    void reportIdsInDescriptor_data();
    void reportIdsInDescriptor();
    void listAndSelection();
    void readsBurstsThroughTheReadThread();
    void profileWithoutReadingSendsRateOnly();
    void removalWhileReading();
    void arrivalRebuildsList();
    void noDeviceSelected();
    void deviceThatWillNotOpen();
    void readErrorGoesToHistory();
    void deviceCallsAreSerialised();
    void throwingHandlerReleasesTheReadThread();
    void historyAndMemoKeepNewestLines();
};

void TestHidLink::burstsThroughTheCable_data()
{
    QTest::addColumn<QList<QByteArray>>("reports"); // data bytes of each report (id 0)
    QTest::addColumn<QStringList>("frames");
    QTest::addColumn<int>("idle");
    QTest::addColumn<int>("historyLines"); // reports with payload
    QTest::addColumn<QString>("byteText"); // left over after the last report

    const QByteArray tern = encodeTernSerialFrame(*TernDisplay::fromText(QStringLiteral("12.34")));
    QString ternDigits;
    for (char b : tern)
        ternDigits += QString::number(quint8(b) & 0x0F, 16).toUpper();
    QTest::newRow("counts 3, 7, 4 then 0: one 14-digit frame")
        << QList<QByteArray>{cableReport(3, tern.mid(0, 3)), cableReport(7, tern.mid(3, 7)),
                             cableReport(4, tern.mid(10, 4)), cableReport(0, QByteArray(7, '\0'))}
        << QStringList{ternDigits} << 1 << 3 << QString();

    QList<QByteArray> forty;
    QString first32;
    for (int r = 0; r < 5; ++r) {
        QByteArray p;
        for (int i = 0; i < 8; ++i) {
            const int n = r * 8 + i;
            p.append(char(0x30 + (n % 16)));
            if (n < 32)
                first32 += QString::number(n % 16, 16).toUpper();
        }
        forty << cableReport(8, p);
    }
    forty << cableReport(0, {});
    QTest::newRow("40 payload bytes keep the first 32") << forty << QStringList{first32} << 1 << 5 << QString();

    QTest::newRow("count byte F0 with no burst pending: idle only")
        << QList<QByteArray>{bytes({0xF0, 0, 0, 0, 0, 0, 0, 0})} << QStringList{} << 1 << 0 << QString();

    QTest::newRow("count 9 but only seven payload bytes")
        << QList<QByteArray>{cableReport(9, bytes({0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x37}))} << QStringList{}
        << 0 << 1 << QStringLiteral("31323334353637");

    QTest::newRow("counts 10 to 15 carry no payload")
        << QList<QByteArray>{cableReport(0x0A, bytes({1, 2})), cableReport(0x0F, bytes({3}))} << QStringList{} << 2
        << 0 << QString();

    QTest::newRow("report without data bytes ends a burst, is not idle")
        << QList<QByteArray>{cableReport(2, bytes({0x4A, 0x5B})), QByteArray()}
        << QStringList{QStringLiteral("AB")} << 0 << 1 << QString();

    QTest::newRow("idle run counts on, payload resets it")
        << QList<QByteArray>{bytes({0xF0}), bytes({0xF0}), cableReport(1, bytes({0x07})), bytes({0xF0}),
                             bytes({0xF0})}
        << QStringList{QStringLiteral("7")} << 2 << 1 << QString();
}

void TestHidLink::burstsThroughTheCable()
{
    QFETCH(QList<QByteArray>, reports);
    QFETCH(QStringList, frames);
    QFETCH(int, idle);
    QFETCH(int, historyLines);
    QFETCH(QString, byteText);

    Rig rig;
    auto cable = rig.backend.add("/dev/hidraw0", "USB to Serial");
    rig.start();
    rig.usbConDown();
    QCOMPARE(rig.link->history().size(), 1); // the rate report's line
    for (const QByteArray &r : reports)
        cable->push(0, r);
    // Every report handed over and handled, in order, on this thread.
    QTRY_VERIFY(cable->pending() == 0 && rig.link->history().size() == 1 + historyLines && rig.frames == frames
                && rig.link->idleReportCount() == idle);
    // A wait for something that must not happen: a late hand-over changing the figures.
    QTest::qWait(20);
    QCOMPARE(rig.frames, frames);
    QCOMPARE(rig.link->idleReportCount(), idle);
    QCOMPARE(rig.link->history().size(), 1 + historyLines);
    QCOMPARE(rig.link->joiner().byteText(), byteText);
    QCOMPARE(rig.link->memo1(), frames);
    QCOMPARE(rig.link->usbTxt(), frames.value(frames.size() - 1));
}

void TestHidLink::rateReport()
{
    QCOMPARE(rateFeatureReport(19200), bytes({0, 0x00, 0x4B, 0, 0, 0x03, 0, 0, 0, 0}));
    QCOMPARE(rateFeatureReport(2400), bytes({0, 0x60, 0x09, 0, 0, 0x03, 0, 0, 0, 0}));
}

void TestHidLink::reportIdsInDescriptor_data()
{
    QTest::addColumn<QByteArray>("descriptor");
    QTest::addColumn<bool>("numbered");
    // Vendor page, 8-byte input and output reports, no identifiers (a serial cable's kind).
    QTest::newRow("unnumbered") << bytes({0x06, 0xA0, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x09, 0x01,
                                          0x15, 0x00, 0x26, 0xFF, 0x00, 0x75, 0x08, 0x95, 0x08,
                                          0x81, 0x02, 0x09, 0x02, 0x91, 0x02, 0xC0})
                                << false;
    QTest::newRow("report id 1") << bytes({0x06, 0xA0, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x85, 0x01, 0x09, 0x01, 0x75,
                                           0x08, 0x95, 0x3F, 0x81, 0x02, 0xC0})
                                 << true;
    // 0x85 as the data of another item is not a report identifier.
    QTest::newRow("0x85 inside data") << bytes({0x26, 0x85, 0x00, 0x75, 0x08, 0xC0}) << false;
    QTest::newRow("long item skipped") << bytes({0xFE, 0x02, 0x10, 0x85, 0x85, 0x85, 0x01}) << true;
    QTest::newRow("empty") << QByteArray() << false;
}

void TestHidLink::reportIdsInDescriptor()
{
    QFETCH(QByteArray, descriptor);
    QFETCH(bool, numbered);
    QCOMPARE(reportDescriptorUsesIds(descriptor), numbered);
}

void TestHidLink::listAndSelection()
{
    Rig rig;
    rig.backend.add("/dev/hidraw0", "USB to Serial");
    rig.backend.add("/dev/hidraw1", "", 0x1a2b, 0x00cd);
    rig.backend.add("/dev/hidraw2", "USB to Serial", 0x04D9, 0xE000, "0042");
    rig.backend.add("/dev/hidraw3", "USB to Serial");
    rig.backend.add("/dev/hidraw4", "Keyboard");
    rig.start();
    QCOMPARE(rig.itemTexts(), (QStringList{"USB to Serial", "Device VID=1A2B PID=00CD",
                                           "USB to Serial (Serial=0042)", "USB to Serial", "Keyboard"}));
    // The later of the two plain "USB to Serial" cables; the one with a serial suffix is not taken.
    QCOMPARE(rig.link->selectedIndex(), 3);
    for (const auto &item : rig.link->items())
        QVERIFY(item.device && item.device->IsCheckedOut());
    QVERIFY(rig.link->history().isEmpty());
}

void TestHidLink::readsBurstsThroughTheReadThread()
{
    Rig rig;
    auto cable = rig.backend.add("/dev/hidraw0", "USB to Serial");
    rig.start();
    QSignalSpy usbTxt(rig.link.get(), &HidLink::usbTxtChanged);
    rig.usbConDown();

    QCOMPARE(cable->features, QList<QByteArray>{rateFeatureReport(19200)});
    QCOMPARE(rig.link->history(), QStringList{QStringLiteral("00 4B 00 00 03 00 00 00 00 ")});
    QVERIFY(rig.toggles.isDown(Toggle::USBCon));
    QCOMPARE(rig.link->currentDevice(), rig.link->items().at(0).device);
    QVERIFY(rig.link->currentDevice()->isReading());

    cable->push(0, cableReport(3, bytes({0x11, 0x22, 0x33})));
    cable->push(0, cableReport(2, bytes({0x44, 0x55})));
    cable->push(0, cableReport(0, {}));
    cable->push(0, cableReport(1, bytes({0x6E})));
    cable->push(0, cableReport(0, {}));
    QTRY_COMPARE(rig.frames, (QStringList{"12345", "E"}));
    QCOMPARE(rig.link->usbTxt(), QStringLiteral("E"));
    QCOMPARE(rig.link->memo1(), (QStringList{"12345", "E"}));
    QCOMPARE(usbTxt.size(), 2);
    QCOMPARE(rig.link->history().size(), 1 + 3);
    QCOMPARE(rig.link->history().at(1), QStringLiteral("R 00  F3 11 22 33 "));

    // USBCon up stops reading: reports wait unread.
    rig.toggles.setDown(Toggle::USBCon, false);
    rig.link->USBConClick();
    QVERIFY(!rig.link->currentDevice()->isReading());
    cable->push(0, cableReport(1, bytes({0x01})));
    cable->push(0, cableReport(0, {}));
    QTest::qWait(150); // a wait for something that must not happen: a read
    QCOMPARE(rig.frames.size(), 2);
    QCOMPARE(cable->pending(), size_t(2));
}

void TestHidLink::profileWithoutReadingSendsRateOnly()
{
    Rig rig("merlin");
    auto cable = rig.backend.add("/dev/hidraw0", "USB to Serial");
    rig.start();
    rig.usbConDown();
    QCOMPARE(cable->features, QList<QByteArray>{rateFeatureReport(2400)});
    QCOMPARE(rig.link->history().value(0), QStringLiteral("60 09 00 00 03 00 00 00 00 "));
    QVERIFY(!rig.link->currentDevice()->isReading());
    cable->push(0, cableReport(1, bytes({0x01})));
    cable->push(0, cableReport(0, {}));
    QTest::qWait(150); // a wait for something that must not happen: a read
    QVERIFY(rig.frames.isEmpty());

    // ReadBtn reads whatever the profile.
    rig.toggles.setDown(Toggle::ReadBtn, true);
    rig.link->ReadBtnClick();
    QTRY_COMPARE(rig.frames, QStringList{QStringLiteral("1")});
}

void TestHidLink::removalWhileReading()
{
    Rig rig;
    rig.backend.add("/dev/hidraw0", "Keyboard");
    auto cable = rig.backend.add("/dev/hidraw1", "USB to Serial");
    rig.start();
    rig.usbConDown();
    QVERIFY(rig.link->currentDevice()->isReading());
    cable->push(0, cableReport(2, bytes({0x01, 0x02})));
    QTRY_COMPARE(rig.link->history().size(), 2);

    rig.backend.unplug(cable);
    QCOMPARE(rig.link->history().last(), QStringLiteral("Removal of USB to Serial"));
    QCOMPARE(rig.itemTexts(), QStringList{QStringLiteral("Keyboard")});
    QCOMPARE(rig.link->selectedIndex(), -1);
    QVERIFY(!rig.link->currentDevice());
    QVERIFY(!rig.link->items().at(0).device->isReading());
    QVERIFY(rig.toggles.isDown(Toggle::USBCon)); // stays down until raised

    // Plugged in again: listed and selected, and reading starts on the next click.
    auto again = rig.backend.plug("/dev/hidraw2", "USB to Serial");
    QCOMPARE(rig.link->history().last(), QStringLiteral("Arrival of USB to Serial"));
    QCOMPARE(rig.link->selectedIndex(), 1);
    rig.toggles.setDown(Toggle::USBCon, false);
    rig.link->USBConClick();
    rig.usbConDown();
    again->push(0, cableReport(1, bytes({0x09})));
    again->push(0, cableReport(0, {}));
    QTRY_COMPARE(rig.frames.value(0), QStringLiteral("9"));
}

void TestHidLink::arrivalRebuildsList()
{
    Rig rig;
    auto first = rig.backend.add("/dev/hidraw0", "USB to Serial");
    rig.start();
    rig.toggles.setDown(Toggle::ReadBtn, true);
    rig.link->ReadBtnClick();
    QVERIFY(rig.link->items().at(0).device->isReading());

    rig.backend.plug("/dev/hidraw5", "USB to Serial");
    // The device change puts ReadBtn up and stops reading, then lists both.
    QVERIFY(!rig.toggles.isDown(Toggle::ReadBtn));
    QCOMPARE(rig.itemTexts(), (QStringList{"USB to Serial", "USB to Serial"}));
    QCOMPARE(rig.link->selectedIndex(), 1);
    QVERIFY(!rig.link->items().at(0).device->isReading());
    QCOMPARE(rig.link->history(), QStringList{QStringLiteral("Arrival of USB to Serial")});
}

void TestHidLink::noDeviceSelected()
{
    Rig rig;
    rig.backend.add("/dev/hidraw0", "Keyboard");
    rig.start();
    QCOMPARE(rig.link->selectedIndex(), -1);
    rig.usbConDown();
    QCOMPARE(rig.notifier.messages,
             (QList<RecordingNotifier::Message>{
                 {MessageKind::Information,
                  QStringLiteral("USB interface cable is not securely connected, please check and re-try.")}}));
    QVERIFY(!rig.toggles.isDown(Toggle::USBCon));
    QVERIFY(!rig.link->currentDevice());
}

void TestHidLink::deviceThatWillNotOpen()
{
    Rig rig;
    auto cable = rig.backend.add("/dev/hidraw0", "USB to Serial");
    cable->openable = false;
    rig.start();
    rig.usbConDown();
    QVERIFY(rig.notifier.messages.isEmpty());
    QVERIFY(!rig.toggles.isDown(Toggle::USBCon));
    QVERIFY(!rig.link->currentDevice()->isReading());

    rig.toggles.setDown(Toggle::ReadBtn, true);
    rig.link->ReadBtnClick();
    QVERIFY(!rig.toggles.isDown(Toggle::ReadBtn));
}

void TestHidLink::readErrorGoesToHistory()
{
    Rig rig;
    auto cable = rig.backend.add("/dev/hidraw0", "USB to Serial");
    rig.start();
    rig.usbConDown();
    cable->pushError(EIO);
    const QString expected = QStringLiteral("READ ERROR: %1 (%2)")
                                 .arg(TJvHidDeviceController::errorText(EIO), QString::number(EIO, 16).toUpper());
    QTRY_COMPARE(rig.link->history().last(), expected);
    QVERIFY(!TJvHidDeviceController::errorText(EIO).isEmpty());
    // Reading goes on after the error.
    cable->push(0, cableReport(1, bytes({0x03})));
    cable->push(0, cableReport(0, {}));
    QTRY_COMPARE(rig.frames, QStringList{QStringLiteral("3")});
}

void TestHidLink::deviceCallsAreSerialised()
{
    Rig rig;
    auto cable = rig.backend.add("/dev/hidraw0", "USB to Serial");
    rig.start();
    rig.usbConDown();
    // Feature reports while the read thread waits in its reads.
    for (int i = 0; i < 10; ++i) {
        rig.link->SetFeatureClick();
        QTest::qWait(7); // spacing only: the calls land at different points of the thread's reads
    }
    QCOMPARE(cable->features.size(), 11);
    QVERIFY(!cable->overlapped);
}

void TestHidLink::historyAndMemoKeepNewestLines()
{
    Rig rig;
    rig.backend.add("/dev/hidraw0", "USB to Serial");
    rig.start();
    QSignalSpy memoSpy(rig.link.get(), &HidLink::memo1LineAdded);
    for (int i = 0; i < 1200; ++i) {
        rig.link->reportHandler(nullptr, 0, cableReport(1, bytes({i & 0xFF})));
        rig.link->reportHandler(nullptr, 0, cableReport(0, {}));
    }
    QCOMPARE(rig.link->history().size(), HidLink::kLineLimit);
    QCOMPARE(rig.link->history().last(), QStringLiteral("R 00  F1 AF ")); // 1199 & 0xFF
    QCOMPARE(rig.link->memo1().size(), HidLink::kLineLimit);
    QCOMPARE(memoSpy.size(), 1200);
    QCOMPARE(rig.frames.size(), 1200);

    rig.link->ClearBtnClick();
    QVERIFY(rig.link->history().isEmpty());
}

// A data handler that throws still completes its hand-over: the read thread goes on
// to the next report, and the device is let go of at once.
void TestHidLink::throwingHandlerReleasesTheReadThread()
{
    FakeHidBackend backend;
    auto cable = backend.add("/dev/hidraw0", "USB to Serial");
    TJvHidDeviceController controller(backend);
    controller.DeviceChange();
    TJvHidDevice *device = controller.CheckOutByIndex(0);
    QVERIFY(device);
    QVERIFY(device->HasReadWriteAccess());
    int calls = 0;
    device->setOnData([&](TJvHidDevice *, quint8, QByteArrayView) {
        if (++calls == 1)
            throw std::runtime_error("handler failed");
    });
    QVERIFY(device->isReading());
    cable->push(0, cableReport(1, bytes({0x01})));
    cable->push(0, cableReport(1, bytes({0x02})));

    // The event loop is run by hand so that the throw is caught here, not in QTest.
    int thrown = 0;
    const QDeadlineTimer deadline(10000);
    while (calls < 2 && !deadline.hasExpired()) {
        try {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        } catch (const std::runtime_error &) {
            ++thrown;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    QCOMPARE(thrown, 1);
    QCOMPARE(calls, 2);
    QCOMPARE(cable->pending(), size_t(0));

    controller.CheckIn(device);
    QVERIFY(!device);
}

QTEST_MAIN(TestHidLink)
#include "tst_hidlink.moc"
