#include "link/pseudoterminal.h"
#include "link/ttybridgeapi.h"

#include <QElapsedTimer>
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
    void usbIdTable();
    void countsTheNamedDevice();
    void readsWholeFramesOnly();
    void flushDiscardsWhatWaits();
    void badHandlesAndIndices();
    void pulledDeviceFailsReadsQuietly();
};

void TestTtyBridgeApi::usbIdTable()
{
    QVERIFY(isBridgeUsbId(0x10C4, 0xEA60));
    QVERIFY(!isBridgeUsbId(0x10C4, 0x0001));
    QVERIFY(!isBridgeUsbId(0x0403, 0xEA60));
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
