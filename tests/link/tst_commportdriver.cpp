#include "link/commportdriver.h"
#include "link/pseudoterminal.h"
#include "link/serialportnames.h"

#include <QSerialPort>
#include <QTest>

using namespace sorrel;

// Collects what the receive event hands over, one entry per call.
struct Receiver {
    QList<QByteArray> calls;
    QByteArray all() const { return calls.join(); }
    void attach(TCommPortDriver &d)
    {
        d.OnReceiveData = [this](TCommPortDriver *, const char *data, int size) {
            calls.append(QByteArray(data, size));
        };
    }
};

class TestCommPortDriver : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void cleanup()
    {
        qunsetenv("SORREL_COM1");
        qunsetenv("SORREL_COM2");
    }

    void defaults();
    void receivesWhatTheFarSideWrites();
    void frameSplitOverTicks();
    void emptyTickCallsNothing();
    void speedChangeWhileOpenFlushesPendingInput();
    void connectOnOpenDriverChangesNothing();
    void portAndBufferFixedWhileOpen();
    void openFailureLeavesDriverClosed();
    void pulledCableDoesNotSpinAndReconnects();
    void portOrder_data();
    void portOrder();
    void environmentNamesThePort();

private:
    // Runs events until the serial port's notifier has taken n bytes of what the master wrote.
    [[nodiscard]] static bool settled(TCommPortDriver &d, qint64 n)
    {
        return QTest::qWaitFor([&] { return d.serialPort() && d.serialPort()->bytesAvailable() >= n; }, 5000);
    }
};

void TestCommPortDriver::defaults()
{
    TCommPortDriver d;
    QCOMPARE(d.ComPort(), pnCOM1);
    QCOMPARE(d.ComPortSpeed(), br9600);
    QCOMPARE(d.ComPortDataBits(), db8BITS);
    QCOMPARE(d.ComPortStopBits(), sb1BITS);
    QCOMPARE(d.ComPortParity(), ptNONE);
    QCOMPARE(d.ComPortHwHandshaking(), hhNONE);
    QCOMPARE(d.ComPortSwHandshaking(), shNONE);
    QCOMPARE(d.ComPortInBufSize(), quint16(2048));
    QCOMPARE(d.ComPortOutBufSize(), quint16(2048));
    QCOMPARE(d.ComPortPollingDelay(), quint16(50));
    QVERIFY(d.EnableDTROnOpen());
    QCOMPARE(d.OutputTimeout(), quint16(4000));
    QVERIFY(!d.Connected());
    QCOMPARE(baudOf(br2400), 2400);
    QCOMPARE(baudOf(br19200), 19200);
    QCOMPARE(baudRateFor(19200), br19200);
}

void TestCommPortDriver::receivesWhatTheFarSideWrites()
{
    PseudoTerminal pty;
    QVERIFY(pty.isOpen());
    qputenv("SORREL_COM1", pty.slavePath().toLocal8Bit());
    TCommPortDriver d;
    d.setComPortSpeed(br2400); // set while closed, used at Connect
    Receiver r;
    r.attach(d);
    QVERIFY(d.Connect());
    QVERIFY(d.Connected());
    QSerialPort *p = d.serialPort();
    QVERIFY(p);
    QCOMPARE(p->baudRate(), 2400);
    QCOMPARE(p->dataBits(), QSerialPort::Data8);
    QCOMPARE(p->parity(), QSerialPort::NoParity);
    QCOMPARE(p->stopBits(), QSerialPort::OneStop);
    QCOMPARE(p->flowControl(), QSerialPort::NoFlowControl);

    const QByteArray bytes("\x15\x27\x3D\x00\xE7", 5);
    QVERIFY(pty.write(bytes));
    // The polling timer (50 ms) delivers them, the zero byte included.
    QTRY_COMPARE_WITH_TIMEOUT(r.all(), bytes, 2000);
}

void TestCommPortDriver::frameSplitOverTicks()
{
    PseudoTerminal pty;
    qputenv("SORREL_COM1", pty.slavePath().toLocal8Bit());
    TCommPortDriver d;
    d.setComPortPollingDelay(60000); // ticks driven by hand
    Receiver r;
    r.attach(d);
    QVERIFY(d.Connect());
    QByteArray frame;
    for (int i = 1; i <= 14; ++i)
        frame.append(char((i << 4) | (i & 0x0F)));
    QVERIFY(pty.write(frame.left(5)));
    QVERIFY(settled(d, 5));
    d.poll();
    QVERIFY(pty.write(frame.mid(5)));
    QVERIFY(settled(d, 9));
    d.poll();
    QCOMPARE(r.calls.size(), 2);
    QCOMPARE(r.calls.at(0), frame.left(5));
    QCOMPARE(r.calls.at(1), frame.mid(5));
}

void TestCommPortDriver::emptyTickCallsNothing()
{
    PseudoTerminal pty;
    qputenv("SORREL_COM1", pty.slavePath().toLocal8Bit());
    TCommPortDriver d;
    d.setComPortPollingDelay(10);
    Receiver r;
    r.attach(d);
    QVERIFY(d.Connect());
    // About ten ticks with nothing to read: a wait for something that must not happen.
    QTest::qWait(100);
    QVERIFY(r.calls.isEmpty());
    QVERIFY(pty.write("x"));
    QTRY_COMPARE(r.calls.size(), 1);
}

void TestCommPortDriver::speedChangeWhileOpenFlushesPendingInput()
{
    PseudoTerminal pty;
    qputenv("SORREL_COM1", pty.slavePath().toLocal8Bit());
    TCommPortDriver d;
    d.setComPortPollingDelay(60000);
    d.setComPortSpeed(br2400);
    Receiver r;
    r.attach(d);
    QVERIFY(d.Connect());

    QVERIFY(pty.write("stale"));
    QVERIFY(settled(d, 5)); // now waiting in the port's input queue
    d.setComPortSpeed(br19200);
    QCOMPARE(d.serialPort()->baudRate(), 19200);
    d.poll();
    QVERIFY2(r.calls.isEmpty(), r.all().constData());

    QVERIFY(pty.write("fresh"));
    QVERIFY(settled(d, 5));
    d.poll();
    QCOMPARE(r.all(), QByteArray("fresh"));

    // The same for the other line settings (a pseudo-terminal keeps 8 bits and no
    // parity whatever is asked, so the stop bits stand in for them).
    QVERIFY(pty.write("stale"));
    QVERIFY(settled(d, 5));
    d.setComPortStopBits(sb2BITS);
    QCOMPARE(d.serialPort()->stopBits(), QSerialPort::TwoStop);
    d.poll();
    QCOMPARE(r.all(), QByteArray("fresh"));
}

void TestCommPortDriver::connectOnOpenDriverChangesNothing()
{
    PseudoTerminal pty;
    qputenv("SORREL_COM1", pty.slavePath().toLocal8Bit());
    TCommPortDriver d;
    d.setComPortPollingDelay(60000);
    Receiver r;
    r.attach(d);
    QVERIFY(d.Connect());
    QSerialPort *before = d.serialPort();
    QVERIFY(pty.write("abc"));
    QVERIFY(settled(d, 3));
    QVERIFY(d.Connect());
    QCOMPARE(d.serialPort(), before);
    d.poll();
    QCOMPARE(r.all(), QByteArray("abc")); // nothing pending was flushed
}

void TestCommPortDriver::portAndBufferFixedWhileOpen()
{
    PseudoTerminal one, two;
    qputenv("SORREL_COM1", one.slavePath().toLocal8Bit());
    qputenv("SORREL_COM2", two.slavePath().toLocal8Bit());
    TCommPortDriver d;
    QVERIFY(d.Connect());
    d.setComPort(pnCOM2);
    d.setComPortInBufSize(16);
    QCOMPARE(d.ComPort(), pnCOM1);
    QCOMPARE(d.ComPortInBufSize(), quint16(2048));
    QCOMPARE(d.serialPort()->portName(), one.slavePath().mid(5));

    d.Disconnect();
    QVERIFY(!d.Connected());
    d.setComPort(pnCOM2);
    d.setComPortInBufSize(4);
    QCOMPARE(d.ComPort(), pnCOM2);
    d.setComPortPollingDelay(60000);
    Receiver r;
    r.attach(d);
    QVERIFY(d.Connect());
    QCOMPARE(d.serialPort()->portName(), two.slavePath().mid(5));
    // The smaller buffer bounds each read.
    QVERIFY(two.write("0123456789"));
    for (int n : {4, 4, 2}) {
        QVERIFY(settled(d, n));
        d.poll();
    }
    QCOMPARE(r.calls, (QList<QByteArray>{"0123", "4567", "89"}));
}

void TestCommPortDriver::openFailureLeavesDriverClosed()
{
    qputenv("SORREL_COM1", "/nonexistent/ttyNONE");
    TCommPortDriver d;
    QVERIFY(!d.Connect());
    QVERIFY(!d.Connected());
    QVERIFY(!d.serialPort());

    // A port another driver holds cannot be opened either.
    PseudoTerminal pty;
    qputenv("SORREL_COM1", pty.slavePath().toLocal8Bit());
    TCommPortDriver holder;
    QVERIFY(holder.Connect());
    QVERIFY(!d.Connect());
    QVERIFY(!d.Connected());
}

void TestCommPortDriver::pulledCableDoesNotSpinAndReconnects()
{
    auto pty = std::make_unique<PseudoTerminal>();
    qputenv("SORREL_COM1", pty->slavePath().toLocal8Bit());
    TCommPortDriver d;
    d.setComPortPollingDelay(10);
    Receiver r;
    r.attach(d);
    QVERIFY(d.Connect());
    QVERIFY(pty->write("before"));
    QTRY_COMPARE(r.all(), QByteArray("before"));

    pty->unplug();
    QTRY_VERIFY(d.portLost());
    QVERIFY(d.Connected()); // reads fail quietly until Disconnect

    // The port is let go of, so nothing keeps signalling it (bench_link unplug measures the CPU).
    QVERIFY(!d.serialPort());
    // Ten polls with the port gone: a wait for something that must not happen (a close).
    QTest::qWait(100);
    QVERIFY(d.Connected());

    d.Disconnect();
    pty = std::make_unique<PseudoTerminal>();
    qputenv("SORREL_COM1", pty->slavePath().toLocal8Bit());
    QVERIFY(d.Connect());
    QVERIFY(pty->write("after"));
    QTRY_COMPARE(r.all(), QByteArray("beforeafter"));
}

void TestCommPortDriver::portOrder_data()
{
    QTest::addColumn<QStringList>("present");
    QTest::addColumn<QStringList>("ordered");
    QTest::newRow("usb before on-board") << QStringList{"/dev/ttyS0", "/dev/ttyS1", "/dev/ttyUSB0"}
                                         << QStringList{"/dev/ttyUSB0", "/dev/ttyS0", "/dev/ttyS1"};
    QTest::newRow("numbers compare as numbers")
        << QStringList{"/dev/ttyS10", "/dev/ttyUSB10", "/dev/ttyS2", "/dev/ttyUSB2"}
        << QStringList{"/dev/ttyUSB2", "/dev/ttyUSB10", "/dev/ttyS2", "/dev/ttyS10"};
    QTest::newRow("acm counts as usb") << QStringList{"/dev/ttyS0", "/dev/ttyACM0", "/dev/ttyUSB1"}
                                       << QStringList{"/dev/ttyACM0", "/dev/ttyUSB1", "/dev/ttyS0"};
    QTest::newRow("none") << QStringList{} << QStringList{};
}

void TestCommPortDriver::portOrder()
{
    QFETCH(QStringList, present);
    QFETCH(QStringList, ordered);
    QCOMPARE(orderSerialPortNames(present), ordered);
}

void TestCommPortDriver::environmentNamesThePort()
{
    qputenv("SORREL_COM2", "/tmp/some-port");
    TCommPortDriver d;
    d.setComPort(pnCOM2);
    QCOMPARE(d.deviceName(), QStringLiteral("/tmp/some-port"));
    QCOMPARE(comPortDeviceName(2), QStringLiteral("/tmp/some-port"));
}

QTEST_MAIN(TestCommPortDriver)
#include "tst_commportdriver.moc"
