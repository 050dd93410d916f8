#include "link/bridgeframer.h"
#include "link/commportdriver.h"
#include "link/pseudoterminal.h"
#include "link/ttybridgeapi.h"
#include "link/unreadabledevice.h"

#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>
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
    int status = SiStatus::ReadTimedOut;
    [[maybe_unused]] const bool done = QTest::qWaitFor(
        [&] {
            char buf[32];
            quint32 got = 0;
            status = api.SI_Read(h, buf, 32, &got);
            if (status == SiStatus::Success)
                out = QByteArray(buf, int(got));
            return status == SiStatus::Success;
        },
        ms);
    return status;
}

// A clock that moves only when the test says, so that a loaded machine cannot make a
// pause out of a slow test or a slow reader thread.
struct HeldClock {
    std::shared_ptr<std::atomic<qint64>> ms = std::make_shared<std::atomic<qint64>>(1000);
    BridgeFramer::Clock clock() const
    {
        return [ms = ms] { return BridgeFramer::TimePoint(std::chrono::milliseconds(ms->load())); };
    }
    void advance(int by) { *ms += by; }
};

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
    void framing_data();
    void framing();
    void readsWholeFramesOnly();
    void flushDiscardsWhatWaits();
    void flushAfterReadKeepsWhatCameLater();
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
    const QString link = dir.filePath(QStringLiteral("usb-Acme_Bridge_0001-if00-port0"));
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
    QCOMPARE(readWithin(api, h, got, 5000), 0);
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
        QCOMPARE(api.lastOpenFailure().detail(),
                 QStringLiteral("/nonexistent/ttyUSB9: No such file or directory."));
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
    QCOMPARE(f.detail(), pty.slavePath()
                             + QStringLiteral(": Permission denied. To use it without root, install the "
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
    QCOMPARE(api.countDetail(),
             QStringLiteral("SORREL_BRIDGE names /nonexistent/ttyBRIDGE: No such file or directory."));
}

// A script of what the reader thread sees, with the 10 ms read time-out:
//   bN@T  N bytes of the stream read at T ms      q@T   the line found empty at T ms
//   wN@T  at T ms the reader may wait N ms for more (-1: for ever)
// The stream's bytes are numbered; a completed read is named by its first byte.
void TestTtyBridgeApi::framing_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QList<int>>("reads");
    QTest::newRow("whole frame in one read") << "b32@0" << QList<int>{0};
    QTest::newRow("frame split across reads") << "b20@0 q@9 b12@9" << QList<int>{0};
    QTest::newRow("late read of the rest is no pause") << "b20@0 b12@40" << QList<int>{0};
    QTest::newRow("fragment then quiet line") << "b20@0 q@10 b32@50" << QList<int>{20};
    QTest::newRow("time-out counts from the last byte") << "b10@0 b10@8 q@16 b12@17" << QList<int>{0};
    QTest::newRow("two frames and a fragment") << "b70@0 q@12 b32@20" << QList<int>{0, 32, 70};
    QTest::newRow("frame split over three reads") << "b5@0 b5@3 q@9 b22@11 b32@12" << QList<int>{0, 32};
    QTest::newRow("waits") << "w-1@0 b20@0 w10@0 w4@6 w0@12 b12@13 w-1@13" << QList<int>{0};
}

void TestTtyBridgeApi::framing()
{
    QFETCH(QString, script);
    QFETCH(QList<int>, reads);
    const auto at = [](int ms) { return BridgeFramer::TimePoint(std::chrono::milliseconds(ms)); };
    const std::chrono::milliseconds timeout(10);
    const QByteArray stream = pattern(256, 0);
    BridgeFramer framer;
    int offset = 0;
    static const QRegularExpression step(QStringLiteral("^([bqw])(-?\\d*)@(\\d+)$"));
    for (const QString &token : script.split(u' ')) {
        const auto m = step.match(token);
        QVERIFY2(m.hasMatch(), qPrintable(token));
        const int n = m.captured(2).toInt(), t = m.captured(3).toInt();
        if (m.captured(1) == u"b") {
            framer.take(QByteArrayView(stream).sliced(offset, n), at(t), 32);
            offset += n;
        } else if (m.captured(1) == u"q") {
            framer.quiet(at(t), timeout);
        } else {
            QVERIFY2(framer.waitMs(at(t), timeout) == n, qPrintable(token));
        }
    }
    QByteArray read;
    for (int first : reads) {
        QVERIFY(framer.next(&read));
        QCOMPARE(read, stream.mid(first, 32));
    }
    QVERIFY(!framer.next(&read));
}

void TestTtyBridgeApi::readsWholeFramesOnly()
{
    PseudoTerminal pty;
    HeldClock time;
    TtyBridgeApi api([&] { return QStringList{pty.slavePath()}; }, time.clock());
    SiHandle h = 0;
    QCOMPARE(api.SI_Open(0, &h), 0);
    QVERIFY(h != 0);
    QCOMPARE(api.devicePath(h), pty.slavePath());
    QCOMPARE(api.SI_SetBaudRate(h, 19200), 0);
    QVERIFY(api.SI_SetBaudRate(h, 12345) != 0);
    QCOMPARE(api.SI_SetTimeouts(10, 10), 0);

    QByteArray got;
    QCOMPARE(readWithin(api, h, got, 30), SiStatus::ReadTimedOut);

    // One frame in two writes, the clock held between them: one read of 32, however
    // long the machine takes between the writes.
    const QByteArray frame = pattern(32, 1);
    QVERIFY(pty.write(frame.left(20)));
    QTRY_COMPARE(api.waitingBytes(h), 20);
    // Real time past the read time-out must not cut the fragment: only the clock counts.
    QTest::qWait(30);
    QVERIFY(pty.write(frame.mid(20)));
    QCOMPARE(readWithin(api, h, got, 5000), 0);
    QCOMPARE(got, frame);

    // A fragment followed by a pause longer than the read time-out is not the start
    // of the next read: the next frame still reads whole.
    QVERIFY(pty.write(pattern(20, 2)));
    QTRY_COMPARE(api.waitingBytes(h), 20);
    time.advance(11);
    QTRY_COMPARE(api.waitingBytes(h), 0);
    QCOMPARE(readWithin(api, h, got, 30), SiStatus::ReadTimedOut);
    const QByteArray next = pattern(32, 3);
    QVERIFY(pty.write(next));
    QCOMPARE(readWithin(api, h, got, 5000), 0);
    QCOMPARE(got, next);

    // Two frames at once: two reads, in order.
    const QByteArray a = pattern(32, 4), b = pattern(32, 5);
    QVERIFY(pty.write(a + b));
    QCOMPARE(readWithin(api, h, got, 5000), 0);
    QCOMPARE(got, a);
    QCOMPARE(readWithin(api, h, got, 5000), 0);
    QCOMPARE(got, b);

    QCOMPARE(api.SI_Close(h), 0);
    QCOMPARE(api.SI_Close(h), SiStatus::InvalidHandle);
}

void TestTtyBridgeApi::flushDiscardsWhatWaits()
{
    PseudoTerminal pty;
    HeldClock time; // the fragment stays until the flush
    TtyBridgeApi api([&] { return QStringList{pty.slavePath()}; }, time.clock());
    SiHandle h = 0;
    QCOMPARE(api.SI_Open(0, &h), 0);
    QVERIFY(pty.write(pattern(32, 6) + pattern(10, 7)));
    QTRY_COMPARE(api.waitingBytes(h), 42);
    QCOMPARE(api.SI_FlushBuffers(h, 1, 1), 0);
    QByteArray got;
    QCOMPARE(readWithin(api, h, got, 40), SiStatus::ReadTimedOut);
    // The fragment went too: the next frame reads whole.
    const QByteArray frame = pattern(32, 8);
    QVERIFY(pty.write(frame));
    QCOMPARE(readWithin(api, h, got, 5000), 0);
    QCOMPARE(got, frame);
}

// The poll reads, then flushes twice. Held off the CPU in between (the clock moves while it
// waits), it must still find the frames that completed after the one it read.
void TestTtyBridgeApi::flushAfterReadKeepsWhatCameLater()
{
    PseudoTerminal pty;
    HeldClock time;
    TtyBridgeApi api([&] { return QStringList{pty.slavePath()}; }, time.clock());
    SiHandle h = 0;
    QCOMPARE(api.SI_Open(0, &h), 0);
    const QByteArray a = pattern(32, 1), b = pattern(32, 2), c = pattern(32, 3);
    QVERIFY(pty.write(a));
    QTRY_COMPARE(api.waitingBytes(h), 32);
    time.advance(40);
    QVERIFY(pty.write(b + c.left(12)));
    QTRY_COMPARE(api.waitingBytes(h), 76);

    QByteArray got;
    QCOMPARE(readWithin(api, h, got, 5000), 0);
    QCOMPARE(got, a);
    QCOMPARE(api.SI_FlushBuffers(h, 1, 1), 0);
    QCOMPARE(api.SI_FlushBuffers(h, 1, 1), 0);
    QCOMPARE(api.waitingBytes(h), 44);
    QCOMPARE(readWithin(api, h, got, 5000), 0);
    QCOMPARE(got, b);
    // B's read carried C's first bytes in with it: as of B, they are flushed.
    QCOMPARE(api.SI_FlushBuffers(h, 1, 1), 0);
    QCOMPARE(api.waitingBytes(h), 0);

    // A read that found nothing: the flush takes everything waiting, as at the start.
    time.advance(40);
    QVERIFY(pty.write(c.left(12)));
    QTRY_COMPARE(api.waitingBytes(h), 12);
    QCOMPARE(readWithin(api, h, got, 20), SiStatus::ReadTimedOut);
    QCOMPARE(api.SI_FlushBuffers(h, 1, 1), 0);
    QCOMPARE(api.waitingBytes(h), 0);
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
    QCOMPARE(api.waitingBytes(h), 0);

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
    QCOMPARE(readWithin(api, h, read, 5000), 0);
    QCOMPARE(read, frame);
}

QTEST_MAIN(TestTtyBridgeApi)
#include "tst_ttybridgeapi.moc"
