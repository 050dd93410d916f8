#include "link/deviceaccess.h"
#include "link/pseudoterminal.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTest>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

using namespace sorrel;

class TestDeviceAccess : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void failureFromErrno_data();
    void failureFromErrno();
    void probeSeesAnotherReader();
    void serialLockFileNamesTheHolder_data();
    void serialLockFileNamesTheHolder();
    void withDetailAddsALine();
};

void TestDeviceAccess::failureFromErrno_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("error");
    QTest::addColumn<DeviceProblem>("problem");
    QTest::addColumn<bool>("retry");
    QTest::addColumn<QString>("detail");
    const QString tty = QStringLiteral("/dev/ttyUSB0");
    const QString dialout = QStringLiteral(
        "/dev/ttyUSB0: Permission denied. To use it without root, install the udev rule 60-sorrel.rules, or run "
        "'sudo usermod -aG dialout $USER' and log in again.");
    QTest::newRow("no rights") << tty << EACCES << DeviceProblem::Permission << false << dialout;
    // The dialout group does not open hidraw nodes: only the rule helps.
    QTest::newRow("no rights, hidraw") << QStringLiteral("/dev/hidraw3") << EACCES << DeviceProblem::Permission
                                       << false
                                       << QStringLiteral(
                                              "/dev/hidraw3: Permission denied. To use it without root, "
                                              "install the udev rule 60-sorrel.rules and plug the device "
                                              "in again.");
    QTest::newRow("exclusive elsewhere") << tty << EBUSY << DeviceProblem::Busy << false
                                         << QStringLiteral("/dev/ttyUSB0 is in use by another program (Device or "
                                                           "resource busy).");
    QTest::newRow("gone") << tty << ENOENT << DeviceProblem::Missing << true
                          << QStringLiteral("/dev/ttyUSB0: No such file or directory.");
    QTest::newRow("node without device") << tty << ENXIO << DeviceProblem::Missing << true
                                         << QStringLiteral("/dev/ttyUSB0: No such device or address.");
    QTest::newRow("hung up") << tty << EIO << DeviceProblem::Missing << true
                             << QStringLiteral("/dev/ttyUSB0: Input/output error.");
    QTest::newRow("something else") << tty << EINVAL << DeviceProblem::Other << false
                                    << QStringLiteral("/dev/ttyUSB0: Invalid argument.");
    QTest::newRow("opened") << tty << 0 << DeviceProblem::None << false << QString();
}

void TestDeviceAccess::failureFromErrno()
{
    QFETCH(QString, path);
    QFETCH(int, error);
    QFETCH(DeviceProblem, problem);
    QFETCH(bool, retry);
    QFETCH(QString, detail);
    const DeviceFailure f = deviceFailure(path, error);
    QCOMPARE(f.problem, problem);
    QCOMPARE(f.retryable(), retry);
    QCOMPARE(f.detail(), detail);
}

// What a second program meets: the probe finds the lock and whose it is; once the
// holder lets go, the device opens.
void TestDeviceAccess::probeSeesAnotherReader()
{
    PseudoTerminal pty;
    QVERIFY(!probeDeviceOpen(pty.slavePath()).failed());
    const int fd = ::open(pty.slavePath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    QVERIFY(fd >= 0);
    QVERIFY(lockDevice(fd));
    const DeviceFailure held = probeDeviceOpen(pty.slavePath());
    QCOMPARE(held.problem, DeviceProblem::Busy);
    QCOMPARE(held.holderPid, QCoreApplication::applicationPid());
    ::close(fd);
    QVERIFY(!probeDeviceOpen(pty.slavePath()).failed());
    QCOMPARE(flockHolder(pty.slavePath()), 0);
    QCOMPARE(probeDeviceOpen(QStringLiteral("/nonexistent/ttyQ")).problem, DeviceProblem::Missing);
}

void TestDeviceAccess::serialLockFileNamesTheHolder_data()
{
    QTest::addColumn<QByteArray>("program"); // the name the lock file gives
    QTest::addColumn<bool>("held");
    QTest::newRow("its holder runs") << QByteArray("sleep") << true;
    // A killed program's file, whose number now belongs to another process.
    QTest::newRow("number taken by another program") << QByteArray("sorrel-cli") << false;
}

// A QSerialPort program elsewhere holds the port by its lock file ("LCK..pts_3": pid,
// program, host), which as root is all that tells it is in use.
void TestDeviceAccess::serialLockFileNamesTheHolder()
{
    QFETCH(QByteArray, program);
    QFETCH(bool, held);
    PseudoTerminal pty;
    QProcess holder;
    holder.start(QStringLiteral("sleep"), {QStringLiteral("600")});
    QVERIFY(holder.waitForStarted());
    QFile lock(QStringLiteral("/run/lock/LCK..") + pty.slavePath().mid(5).replace(u'/', u'_'));
    if (!lock.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        QSKIP("cannot write a serial lock file here");
    lock.write(QByteArray::number(holder.processId()) + '\n' + program + "\nhost\n");
    lock.close();
    const DeviceFailure f = probeDeviceOpen(pty.slavePath());
    const qint64 pid = holder.processId();
    lock.remove();
    holder.kill();
    holder.waitForFinished();
    QCOMPARE(f.problem, held ? DeviceProblem::Busy : DeviceProblem::None);
    if (held)
        QCOMPARE(f.detail(),
                 QStringLiteral("%1 is in use by another program (process %2).").arg(pty.slavePath()).arg(pid));
}

void TestDeviceAccess::withDetailAddsALine()
{
    QCOMPARE(withDetail(QStringLiteral("Time out"), QString()), QStringLiteral("Time out"));
    QCOMPARE(withDetail(QStringLiteral("Time out"), QStringLiteral("why")), QStringLiteral("Time out\nwhy"));
}

QTEST_MAIN(TestDeviceAccess)
#include "tst_deviceaccess.moc"
