#include "link/commportdriver.h"
#include "link/pseudoterminal.h"
#include "link/ttybridgeapi.h"
#include "link/unreadabledevice.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace sorrel;

namespace {

QByteArray pattern(int n, int seed)
{
    QByteArray out;
    for (int i = 0; i < n; ++i)
        out.append(char((seed + i * 7) & 0xFF));
    return out;
}

// Polls SI_Read as the 10 ms timer would until it succeeds or time runs out.
int readWithin(TtyBridgeApi &api, SiHandle h, QByteArray &out, int ms)
{
    QElapsedTimer t;
    t.start();
    int status;
    do {
        char buf[32];
        quint32 got = 0;
        status = api.SI_Read(h, buf, 32, &got);
        if (status == SiStatus::Success) {
            out = QByteArray(buf, int(got));
            return status;
        }
        QTest::qWait(5);
    } while (t.elapsed() < ms);
    return status;
}

} // namespace

class TestTtyBridgeApi : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void cleanup() { qunsetenv("SORREL_BRIDGE"); }
    void usbIdTable_data();
    void usbIdTable();
    void countsTheNamedDevice();
    void namedByStableLink();
    void oneReaderPerBridge();
    void openFailureSaysWhy();
    void readsWholeFramesOnly();
    void flushDiscardsWhatWaits();
    void badHandlesAndIndices();
    void pulledDeviceFailsReadsQuietly();
};

void TestTtyBridgeApi::usbIdTable_data()
{
    QTest::addColumn<int>("vendor");
    QTest::addColumn<int>("product");
    QTest::addColumn<bool>("bridge");
    for (int p : {0xEA60, 0xEA61, 0xEA63, 0xEA7A, 0xEA7B})
        QTest::addRow("10C4:%04X", p) << 0x10C4 << p << true;
    // Multi-port chips, a dead id the driver never binds as a tty, other makers.
    for (int p : {0xEA70, 0xEA71, 0xEA80, 0x0001})
        QTest::addRow("10C4:%04X", p) << 0x10C4 << p << false;
    QTest::newRow("0403:EA60") << 0x0403 << 0xEA60 << false;
}

void TestTtyBridgeApi::usbIdTable()
{
    QFETCH(int, vendor);
    QFETCH(int, product);
    QFETCH(bool, bridge);
    QCOMPARE(isBridgeUsbId(quint16(vendor), quint16(product)), bridge);
}

void TestTtyBridgeApi::namedByStableLink()
{
    PseudoTerminal pty;
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("usb-Silicon_Labs_CP2102_0001-if00-port0"));
    QVERIFY(QFile::link(pty.slavePath(), link));
    qputenv("SORREL_BRIDGE", link.toLocal8Bit());
    TtyBridgeApi api;
    quint32 n = 0;
    QCOMPARE(api.SI_GetNumDevices(&n), 0);
    QCOMPARE(n, 1u);
    SiHandle h = 0;
    QCOMPARE(api.SI_Open(0, &h), 0);
    QVERIFY(pty.write(pattern(32, 10)));
    QByteArray got;
    QCOMPARE(readWithin(api, h, got, 1000), 0);
    QCOMPARE(got, pattern(32, 10));
}

// A second reader of the same bridge, another Sorrel's bridge or serial driver, is
// refused and told who holds it, also for root, whom TIOCEXCL does not stop.
void TestTtyBridgeApi::oneReaderPerBridge()
{
    PseudoTerminal pty;
    auto locate = [&] { return QStringList{pty.slavePath()}; };
    TtyBridgeApi first(locate), second(locate);
    SiHandle a = 0, b = 0;
    QCOMPARE(first.SI_Open(0, &a), 0);
    QCOMPARE(second.SI_Open(0, &b), SiStatus::DeviceIoFailed);
    const DeviceFailure busy = second.lastOpenFailure();
    QCOMPARE(busy.problem, DeviceProblem::Busy);
    QCOMPARE(busy.holderPid, QCoreApplication::applicationPid());
    QCOMPARE(busy.detail(), QStringLiteral("%1 is in use by another program (process %2).")
                                .arg(pty.slavePath())
                                .arg(QCoreApplication::applicationPid()));

    qputenv("SORREL_COM1", pty.slavePath().toLocal8Bit());
    TCommPortDriver serial;
    QVERIFY(!serial.Connect());
    QCOMPARE(serial.lastFailure().problem, DeviceProblem::Busy);

    QCOMPARE(first.SI_Close(a), 0);
    QCOMPARE(second.SI_Open(0, &b), 0);
    QVERIFY(!second.lastOpenFailure().failed());
    // And the other way round: an open serial driver keeps the bridge out.
    QCOMPARE(second.SI_Close(b), 0);
    QVERIFY(serial.Connect());
    QCOMPARE(first.SI_Open(0, &a), SiStatus::DeviceIoFailed);
    QCOMPARE(first.lastOpenFailure().problem, DeviceProblem::Busy);
    qunsetenv("SORREL_COM1");
}

void TestTtyBridgeApi::openFailureSaysWhy()
{
    PseudoTerminal pty;
    {
        TtyBridgeApi api([] { return QStringList{QStringLiteral("/nonexistent/ttyUSB9")}; });
        SiHandle h = 0;
        QCOMPARE(api.SI_Open(0, &h), SiStatus::DeviceNotFound);
        QVERIFY(api.lastOpenFailure().retryable());
        QCOMPARE(api.lastOpenFailure().detail(), QStringLiteral("/nonexistent/ttyUSB9: No such file or directory."));
    }
    TtyBridgeApi api([&] { return QStringList{pty.slavePath()}; });
    SiHandle h = 0;
    test::UnreadableDevice unreadable(pty.slavePath());
    if (!unreadable.active())
        QSKIP("cannot make the device unreadable here");
    QCOMPARE(api.SI_Open(0, &h), SiStatus::DeviceIoFailed);
    const DeviceFailure f = api.lastOpenFailure();
    QCOMPARE(f.problem, DeviceProblem::Permission);
    QVERIFY(!f.retryable());
    QCOMPARE(f.detail(), pty.slavePath() + QStringLiteral(": Permission denied. To use it without root, install the "
                                                          "udev rule 60-sorrel.rules, or run 'sudo usermod -aG "
                                                          "dialout $USER' and log in again."));
}

void TestTtyBridgeApi::countsTheNamedDevice()
{
    PseudoTerminal pty;
    qputenv("SORREL_BRIDGE", pty.slavePath().toLocal8Bit());
    TtyBridgeApi api;
    quint32 n = 99;
    QCOMPARE(api.SI_GetNumDevices(&n), 0);
    QCOMPARE(n, 1u);
    qputenv("SORREL_BRIDGE", "/nonexistent/ttyBRIDGE");
    QCOMPARE(api.SI_GetNumDevices(&n), 0);
    QCOMPARE(n, 0u);
    QCOMPARE(api.countDetail(), QStringLiteral("SORREL_BRIDGE names /nonexistent/ttyBRIDGE: No such file or directory."));
}

void TestTtyBridgeApi::readsWholeFramesOnly()
{
    PseudoTerminal pty;
    TtyBridgeApi api([&] { return QStringList{pty.slavePath()}; });
    SiHandle h = 0;
    QCOMPARE(api.SI_Open(0, &h), 0);
    QVERIFY(h != 0);
    QCOMPARE(api.devicePath(h), pty.slavePath());
    QCOMPARE(api.SI_SetBaudRate(h, 19200), 0);
    QVERIFY(api.SI_SetBaudRate(h, 12345) != 0);
    QCOMPARE(api.SI_SetTimeouts(10, 10), 0);

    QByteArray got;
    QCOMPARE(readWithin(api, h, got, 30), SiStatus::ReadTimedOut);

    // One frame, in two writes that follow closely: one read of 32.
    const QByteArray frame = pattern(32, 1);
    QVERIFY(pty.write(frame.left(20)));
    QVERIFY(pty.write(frame.mid(20)));
    QCOMPARE(readWithin(api, h, got, 1000), 0);
    QCOMPARE(got, frame);

    // A fragment followed by a pause longer than the read time-out is not the start
    // of the next read: the next frame still reads whole.
    QVERIFY(pty.write(pattern(20, 2)));
    QCOMPARE(readWithin(api, h, got, 60), SiStatus::ReadTimedOut);
    const QByteArray next = pattern(32, 3);
    QVERIFY(pty.write(next));
    QCOMPARE(readWithin(api, h, got, 1000), 0);
    QCOMPARE(got, next);

    // Two frames at once: two reads, in order.
    const QByteArray a = pattern(32, 4), b = pattern(32, 5);
    QVERIFY(pty.write(a + b));
    QCOMPARE(readWithin(api, h, got, 1000), 0);
    QCOMPARE(got, a);
    QCOMPARE(readWithin(api, h, got, 1000), 0);
    QCOMPARE(got, b);

    QCOMPARE(api.SI_Close(h), 0);
    QCOMPARE(api.SI_Close(h), SiStatus::InvalidHandle);
}

void TestTtyBridgeApi::flushDiscardsWhatWaits()
{
    PseudoTerminal pty;
    TtyBridgeApi api([&] { return QStringList{pty.slavePath()}; });
    SiHandle h = 0;
    QCOMPARE(api.SI_Open(0, &h), 0);
    QVERIFY(pty.write(pattern(32, 6) + pattern(10, 7)));
    QTest::qWait(50);
    QCOMPARE(api.SI_FlushBuffers(h, 1, 1), 0);
    QByteArray got;
    QCOMPARE(readWithin(api, h, got, 40), SiStatus::ReadTimedOut);
    // The fragment went too: the next frame reads whole.
    const QByteArray frame = pattern(32, 8);
    QVERIFY(pty.write(frame));
    QCOMPARE(readWithin(api, h, got, 1000), 0);
    QCOMPARE(got, frame);
}

void TestTtyBridgeApi::badHandlesAndIndices()
{
    PseudoTerminal pty;
    TtyBridgeApi api([&] { return QStringList{pty.slavePath()}; });
    char buf[32];
    quint32 got = 5;
    QCOMPARE(api.SI_Read(0, buf, 32, &got), SiStatus::InvalidHandle);
    QCOMPARE(got, 0u);
    QCOMPARE(api.SI_FlushBuffers(0, 1, 1), SiStatus::InvalidHandle);
    QCOMPARE(api.SI_SetBaudRate(0, 19200), SiStatus::InvalidHandle);
    SiHandle h = 0;
    QCOMPARE(api.SI_Open(1, &h), SiStatus::DeviceNotFound);
    QCOMPARE(h, SiHandle(0));
    // Handles are not reused, so a stale one never reaches a newer bridge.
    SiHandle first = 0, second = 0;
    QCOMPARE(api.SI_Open(0, &first), 0);
    QCOMPARE(api.SI_Close(first), 0);
    QCOMPARE(api.SI_Open(0, &second), 0);
    QVERIFY(second != first);
    QCOMPARE(api.SI_Read(first, buf, 32, &got), SiStatus::InvalidHandle);
}

void TestTtyBridgeApi::pulledDeviceFailsReadsQuietly()
{
    auto pty = std::make_unique<PseudoTerminal>();
    TtyBridgeApi api([&] { return pty ? QStringList{pty->slavePath()} : QStringList{}; });
    SiHandle h = 0;
    QCOMPARE(api.SI_Open(0, &h), 0);
    pty.reset();
    QTRY_VERIFY(api.isLost(h));
    char buf[32];
    quint32 got = 0;
    QCOMPARE(api.SI_Read(h, buf, 32, &got), SiStatus::ReadError);

    quint32 n = 9;
    api.SI_GetNumDevices(&n);
    QCOMPARE(n, 0u);
    QCOMPARE(api.SI_Close(h), 0);

    // Plugged in again: a new open reads.
    pty = std::make_unique<PseudoTerminal>();
    QCOMPARE(api.SI_Open(0, &h), 0);
    const QByteArray frame = pattern(32, 9);
    QVERIFY(pty->write(frame));
    QByteArray read;
    QCOMPARE(readWithin(api, h, read, 1000), 0);
    QCOMPARE(read, frame);
}

QTEST_MAIN(TestTtyBridgeApi)
#include "tst_ttybridgeapi.moc"
