#include "app/metersession.h"
#include "link/bridgelink.h"
#include "link/commportdriver.h"
#include "link/fakehidbackend.h"
#include "link/hiddevicecontroller.h"
#include "link/hidlink.h"
#include "link/linkwatchdog.h"
#include "link/pseudoterminal.h"
#include "link/serialconnection.h"
#include "link/ternframeencoder.h"
#include "link/togglegroup.h"
#include "link/unreadabledevice.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTest>
#include <optional>

using namespace sorrel;

namespace {

struct Rig {
    Rig() : connection(driver, toggles, notifier) {}
    RecordingNotifier notifier;
    TCommPortDriver driver;
    ToggleGroup toggles;
    SerialConnection connection;
};

const QString kSilent = QStringLiteral(
    "USB interface cable is connected properly, please check the USB connection status of the DMM.");

} // namespace

class TestSerialConnection : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void cleanup()
    {
        qunsetenv("SORREL_COM1");
        qunsetenv("SORREL_COM3");
    }
    void portPanelsCycle();
    void connectAndDisconnect();
    void portThatWillNotOpen_data();
    void portThatWillNotOpen();
    void comConButton();
    void toggleGroupKeepsOneDown();
    void lampFollowsFrames_data();
    void lampFollowsFrames();
    void silentCableCheck_data();
    void silentCableCheck();
};

void TestSerialConnection::portPanelsCycle()
{
    Rig rig;
    QCOMPARE(rig.connection.shownPortPanel(), 1);
    const QList<TComPortNumber> expected{pnCOM2, pnCOM3, pnCOM4, pnCOM1};
    for (int i = 0; i < 4; ++i) {
        rig.connection.clickShownPortPanel();
        QCOMPARE(rig.driver.ComPort(), expected.at(i));
        QCOMPARE(rig.connection.shownPortPanel(), int(expected.at(i)) + 1);
    }
}

void TestSerialConnection::connectAndDisconnect()
{
    PseudoTerminal pty;
    qputenv("SORREL_COM1", pty.slavePath().toLocal8Bit());
    Rig rig;
    QSignalSpy changed(&rig.connection, &SerialConnection::changed);
    QVERIFY(!rig.connection.connected());
    QVERIFY(rig.connection.start1Enabled());
    QVERIFY(!rig.connection.stop1Enabled());

    rig.connection.BTCon1Click();
    QVERIFY(rig.driver.Connected());
    QVERIFY(rig.connection.connected());
    QVERIFY(rig.connection.start1Checked());
    QVERIFY(!rig.connection.start1Enabled());
    QVERIFY(rig.connection.stop1Enabled());
    QVERIFY(!rig.connection.stop1Checked());
    QVERIFY(!rig.connection.portPanelsEnabled());
    QVERIFY(rig.notifier.messages.isEmpty());
    QCOMPARE(changed.size(), 1);
    // The port cannot change while connected.
    rig.connection.clickShownPortPanel();
    QCOMPARE(rig.driver.ComPort(), pnCOM1);
    QCOMPARE(rig.connection.shownPortPanel(), 1);

    rig.connection.BtDiscon1Click();
    QVERIFY(!rig.driver.Connected());
    QVERIFY(!rig.connection.connected());
    QVERIFY(!rig.connection.start1Checked());
    QVERIFY(rig.connection.start1Enabled());
    QVERIFY(!rig.connection.stop1Enabled());
    QVERIFY(rig.connection.stop1Checked());
    QVERIFY(rig.connection.portPanelsEnabled());
    QVERIFY(!rig.toggles.isDown(Toggle::COMCon)); // only the user moves COMCon
}

enum class PortState { Missing, Unreadable, Held };

void TestSerialConnection::portThatWillNotOpen_data()
{
    QTest::addColumn<int>("clicks");
    QTest::addColumn<PortState>("state");
    QTest::addColumn<QString>("message"); // %1: the device, %2: this process
    QTest::newRow("COM 1 missing") << 0 << PortState::Missing
                                   << "Could not open COM 1.\n%1: No such file or directory.";
    QTest::newRow("COM 3 missing") << 2 << PortState::Missing
                                   << "Could not open COM 3.\n%1: No such file or directory.";
    QTest::newRow("no rights")
        << 0 << PortState::Unreadable
        << "Could not open COM 1.\n%1: Permission denied. To use it without root, install "
           "the udev rule 60-sorrel.rules, or run 'sudo usermod -aG dialout $USER' and log in again.";
    QTest::newRow("held by another reader")
        << 0 << PortState::Held << "Could not open COM 1.\n%1 is in use by another program (process %2).";
}

void TestSerialConnection::portThatWillNotOpen()
{
    QFETCH(int, clicks);
    QFETCH(PortState, state);
    QFETCH(QString, message);
    PseudoTerminal pty;
    const QString device = state == PortState::Missing ? QStringLiteral("/nonexistent/ttyX") : pty.slavePath();
    qputenv("SORREL_COM1", device.toLocal8Bit());
    qputenv("SORREL_COM3", device.toLocal8Bit());
    TCommPortDriver holder;
    if (state == PortState::Held)
        QVERIFY(holder.Connect());
    std::optional<test::UnreadableDevice> unreadable;
    if (state == PortState::Unreadable) {
        unreadable.emplace(device);
        if (!unreadable->active())
            QSKIP("cannot make the device unreadable here");
    }
    Rig rig;
    for (int i = 0; i < clicks; ++i)
        rig.connection.clickShownPortPanel();
    rig.connection.BTCon1Click();
    unreadable.reset();
    const QString expected = QString(message)
                                 .replace(QStringLiteral("%1"), device)
                                 .replace(QStringLiteral("%2"),
                                          QString::number(QCoreApplication::applicationPid()));
    QCOMPARE(rig.notifier.messages, (QList<RecordingNotifier::Message>{{MessageKind::Error, expected}}));
    QVERIFY(!rig.connection.connected());
    QVERIFY(rig.connection.start1Enabled());
    QVERIFY(!rig.connection.start1Checked());
    QVERIFY(!rig.connection.stop1Enabled());
    QVERIFY(rig.connection.portPanelsEnabled());
}

void TestSerialConnection::comConButton()
{
    PseudoTerminal pty;
    qputenv("SORREL_COM1", pty.slavePath().toLocal8Bit());
    Rig rig;
    rig.toggles.setDown(Toggle::COMCon, true);
    rig.connection.COMConClick();
    QVERIFY(rig.driver.Connected());
    QVERIFY(rig.connection.connected());
    rig.toggles.setDown(Toggle::COMCon, false);
    rig.connection.COMConClick();
    QVERIFY(!rig.driver.Connected());
    QVERIFY(!rig.connection.connected());

    // A port that does not open: the message, and the button does not stay down.
    qputenv("SORREL_COM1", "/nonexistent/ttyA");
    rig.toggles.setDown(Toggle::COMCon, true);
    rig.connection.COMConClick();
    QCOMPARE(rig.notifier.texts(),
             QStringList{"Could not open COM 1.\n/nonexistent/ttyA: No such file or directory."});
    QVERIFY(!rig.toggles.isDown(Toggle::COMCon));
    QVERIFY(!rig.connection.connected());
}

void TestSerialConnection::toggleGroupKeepsOneDown()
{
    ToggleGroup g;
    QSignalSpy spy(&g, &ToggleGroup::positionChanged);
    g.setDown(Toggle::USB, true);
    g.setDown(Toggle::USBCon, true);
    QVERIFY(!g.isDown(Toggle::USB));
    QVERIFY(g.isDown(Toggle::USBCon));
    QCOMPARE(spy.size(), 3); // USB down, USB up, USBCon down
    g.setDown(Toggle::USBCon, false);
    for (int t = 0; t < kToggleCount; ++t)
        QVERIFY(!g.isDown(Toggle(t)));
    g.setDown(Toggle::ReadBtn, false); // already up: no change
    QCOMPARE(spy.size(), 4);
}

void TestSerialConnection::lampFollowsFrames_data()
{
    QTest::addColumn<int>("framePeriodMs");
    QTest::addColumn<bool>("everDark");
    QTest::newRow("every 200 ms: stays lit") << 200 << false;
    QTest::newRow("every 500 ms: goes dark between frames") << 500 << true;
}

void TestSerialConnection::lampFollowsFrames()
{
    QFETCH(int, framePeriodMs);
    QFETCH(bool, everDark);
    RecordingNotifier notifier;
    MeterSession session(resolveProfile(ModelFlags::shipped()), QStringLiteral("."), notifier);
    LinkWatchdog watchdog(session, nullptr);
    watchdog.ConTimer().stop(); // ticks driven by a simulated clock
    QCOMPARE(watchdog.ConTimer().interval(), 100);
    LcdPanelState &panel = session.panel();

    // A frame as the bridge brings it; the decoder lights the lamp and zeroes the count.
    TernDisplay reading = *TernDisplay::fromText(QStringLiteral("1234"));
    reading.set(TernBit::LUX);
    const QByteArray bytes = encodeTernBridgeFrame(reading);
    const QString frame = bridgeFrameText(reinterpret_cast<const quint8 *>(bytes.constData()), 32);
    auto frameTaken = [&] { session.dispatchBridgeFrame(frame); };
    int darkMs = 0;
    int longestDark = 0, run = 0;
    // Frames fall between ticks (at 50 ms past a multiple of the period).
    for (int t = 0; t <= 5000; t += 10) {
        if (t % framePeriodMs == 50)
            frameTaken();
        if (t > 0 && t % 100 == 0)
            watchdog.ConTimerTimer();
        if (t < 100)
            continue; // before the first frame has had a tick
        const bool dark = !panel.isShown(Ind::conok) && panel.isShown(Ind::conokn);
        darkMs += dark ? 10 : 0;
        run = dark ? run + 10 : 0;
        longestDark = std::max(longestDark, run);
    }
    QCOMPARE(darkMs > 0, everDark);
    if (everDark) {
        // Dark 200 to 300 ms after each frame, lit again by the next one.
        QVERIFY(longestDark <= 500 - 200);
        QVERIFY(longestDark >= 500 - 300);
    }
    QVERIFY(notifier.messages.isEmpty());
}

void TestSerialConnection::silentCableCheck_data()
{
    QTest::addColumn<int>("emptyReports");
    QTest::addColumn<bool>("stops");
    QTest::newRow("1899: goes on") << 1899 << false;
    QTest::newRow("1900: stops once") << 1900 << true;
}

void TestSerialConnection::silentCableCheck()
{
    QFETCH(int, emptyReports);
    QFETCH(bool, stops);
    FakeHidBackend backend;
    auto cable = backend.add("/dev/hidraw0", "USB to Serial");
    TJvHidDeviceController controller(backend);
    ToggleGroup toggles;
    RecordingNotifier notifier;
    MeterSession session(resolveProfile(ModelFlags::shipped()), QStringLiteral("."), notifier);
    HidLink hid(controller, toggles, notifier, session.profile());
    LinkWatchdog watchdog(session, &hid);
    watchdog.ConTimer().stop();

    toggles.setDown(Toggle::USBCon, true);
    hid.USBConClick();
    TJvHidDevice *device = hid.currentDevice();
    QVERIFY(device && device->isReading());
    notifier.clear();

    for (int i = 0; i < emptyReports; ++i)
        hid.reportHandler(device, 0, QByteArray("\xF0\0\0\0\0\0\0\0", 8));
    QCOMPARE(hid.idleReportCount(), emptyReports);

    for (int tick = 0; tick < 9; ++tick)
        watchdog.ConTimerTimer();
    QCOMPARE(notifier.messages.size(), stops ? 1 : 0);
    if (stops) {
        QCOMPARE(notifier.messages.at(0), (RecordingNotifier::Message{MessageKind::Information, kSilent}));
        QCOMPARE(hid.idleReportCount(), 0);
    }
    QCOMPARE(toggles.isDown(Toggle::USBCon), !stops);
    QCOMPARE(device->isReading(), !stops);
}

QTEST_MAIN(TestSerialConnection)
#include "tst_serialconnection.moc"
