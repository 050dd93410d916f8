#include "base/notifier.h"
#include "link/deviceaccess.h"
#include "link/pseudoterminal.h"
#include "link/ternframeencoder.h"
#include "record/readingfiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTime>

#include <csignal>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

using namespace sorrel;

// Runs the built sorrel-cli log against the demo meter and pseudo-terminals.
class TestLogCli : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void demo_data();
    void demo();
    void portUntilSigterm_data();
    void portUntilSigterm();
    void unplugAndBack_data();
    void unplugAndBack();
    void deviceItCannotUse_data();
    void deviceItCannotUse();
    void comesBackHeld();
    void interval_data();
    void interval();
    void badOptions_data();
    void badOptions();
};

namespace {

void startLog(QProcess &p, const QStringList &args)
{
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    e.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    p.setProcessEnvironment(e);
    p.start(QStringLiteral(SORREL_BINARY_DIR "/sorrel-cli"), QStringList{"log"} + args);
}

// The file as the program would open it; rows stored before a bad line stay.
QList<ReadingRow> loadRows(const QString &file, bool *ok = nullptr)
{
    ReadingTable t;
    RecordingNotifier messages;
    const bool loaded = LoadReadingFile(file, t, false).tell(messages);
    if (ok)
        *ok = loaded;
    QList<ReadingRow> rows;
    for (qsizetype i = 0; i < t.rowCount(); ++i)
        rows << t.row(i);
    return rows;
}

// A four-digit reading as the meter sends it on a serial line (--port) or through a
// USB bridge (--bridge).
QByteArray meterFrame(const QString &option, int value)
{
    const TernDisplay d = *TernDisplay::fromText(QString::number(value));
    return option == u"--bridge" ? encodeTernBridgeFrame(d) : encodeTernSerialFrame(d);
}

// Rows numbered 1, 2, ... whose values count up by one from the first: no reading
// lost or doubled between the line and the file.
bool consecutive(const QList<ReadingRow> &rows, QString *why)
{
    for (qsizetype i = 0; i < rows.size(); ++i) {
        if (rows[i].no != qint32(i + 1)) {
            *why = QStringLiteral("row %1 numbered %2").arg(i + 1).arg(rows[i].no.value_or(-1));
            return false;
        }
        if (i > 0 && rows[i].value.toInt() != rows[i - 1].value.toInt() + 1) {
            *why = QStringLiteral("row %1 holds %2 after %3").arg(i + 1).arg(rows[i].value, rows[i - 1].value);
            return false;
        }
    }
    return true;
}

// Writes a frame every 50 ms, counting up, until done() holds or ms pass.
bool feedUntil(PseudoTerminal &pty, const QString &option, int &value, const std::function<bool()> &done, int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) {
        if (pty.write(meterFrame(option, value)))
            ++value;
        QTest::qWait(50);
        if (done())
            return true;
    }
    return false;
}

} // namespace

void TestLogCli::demo_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("minRows");
    QTest::addColumn<int>("maxRows");
    QTest::addColumn<QString>("message"); // on stderr; empty: nothing there
    QTest::newRow("count, text") << QStringList{"--count", "5"} << "demo.txt" << 5 << 5 << "";
    QTest::newRow("count, xml") << QStringList{"--count", "3"} << "demo.xml" << 3 << 3 << "";
    QTest::newRow("record limit ends it") << QStringList{"--limit", "2"} << "demo.txt" << 2 << 2
                                          << "sorrel-cli log: the record limit of 2 rows is reached\n";
    QTest::newRow("duration ends it") << QStringList{"--duration", "1.5"} << "demo.xls" << 1 << 4 << "";
    QTest::newRow("no repeat") << QStringList{"--no-repeat", "--count", "3"} << "demo.txt" << 3 << 3 << "";
}

void TestLogCli::demo()
{
    QFETCH(QStringList, args);
    QFETCH(QString, name);
    QFETCH(int, minRows);
    QFETCH(int, maxRows);
    QFETCH(QString, message);
    QTemporaryDir dir;
    const QString out = dir.filePath(name);
    QProcess p;
    startLog(p, QStringList{"--demo", "--out", out} + args);
    QVERIFY(p.waitForFinished(30000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 0);
    // No progress line off a terminal.
    QCOMPARE(QString::fromLocal8Bit(p.readAllStandardError()), message);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{name}); // no journal left
    bool ok = false;
    const QList<ReadingRow> rows = loadRows(out, &ok);
    QVERIFY(ok);
    QVERIFY2(rows.size() >= minRows && rows.size() <= maxRows, qPrintable(QString::number(rows.size())));
    const bool repeat = !args.contains(QStringLiteral("--no-repeat"));
    const QRegularExpression time(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d$"));
    for (qsizetype i = 0; i < rows.size(); ++i) {
        QVERIFY2(time.match(rows[i].time).hasMatch(), qPrintable(rows[i].time));
        QVERIFY(!rows[i].value.isEmpty());
        if (repeat) {
            QCOMPARE(rows[i].no, qint32(i + 1));
        } else if (i > 0) {
            // Refused repeats use up their numbers.
            QVERIFY(*rows[i].no > *rows[i - 1].no);
            QVERIFY(rows[i].value + rows[i].unit != rows[i - 1].value + rows[i - 1].unit);
        }
    }
}

void TestLogCli::portUntilSigterm_data()
{
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("name");
    QTest::newRow("port, text") << "--port"
                                << "port.txt";
    QTest::newRow("port, xml") << "--port"
                               << "port.xml";
    QTest::newRow("bridge, text") << "--bridge"
                                  << "bridge.txt";
}

void TestLogCli::portUntilSigterm()
{
    QFETCH(QString, option);
    QFETCH(QString, name);
    const bool text = !name.endsWith(u".xml");
    PseudoTerminal pty;
    QVERIFY(pty.isOpen());
    QTemporaryDir dir;
    const QString out = dir.filePath(name);
    QProcess p;
    startLog(p, {option, pty.slavePath(), "--out", out});
    QVERIFY(p.waitForStarted());

    int value = 1001;
    QList<ReadingRow> whileRunning;
    if (text) {
        // Rows reach the file while the logger runs.
        QVERIFY(feedUntil(
            pty, option, value, [&] { return (whileRunning = loadRows(out)).size() >= 3; }, 10000));
        QCOMPARE(p.state(), QProcess::Running);
    } else {
        feedUntil(
            pty, option, value, [] { return false; }, 1500);
    }

    ::kill(pid_t(p.processId()), SIGTERM);
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 0);
    bool ok = false;
    const QList<ReadingRow> rows = loadRows(out, &ok);
    QVERIFY(ok);
    QVERIFY2(rows.size() >= 3, qPrintable(QString::number(rows.size())));
    QVERIFY(rows.size() <= value - 1001);
    QString why;
    QVERIFY2(consecutive(rows, &why), qPrintable(why));
    QCOMPARE(rows.mid(0, whileRunning.size()), whileRunning);
    if (text) {
        // Byte for byte what the window's Save writes for these rows.
        ReadingTable table;
        for (const ReadingRow &r : rows)
            table.append(r);
        RecordingNotifier messages;
        const QString saved = dir.filePath(QStringLiteral("saved.txt"));
        QVERIFY(SaveReadingFile(table, saved).tell(messages));
        QFile logged(out), bySave(saved);
        QVERIFY(logged.open(QIODevice::ReadOnly) && bySave.open(QIODevice::ReadOnly));
        QCOMPARE(logged.readAll(), bySave.readAll());
    }
}

void TestLogCli::unplugAndBack_data()
{
    QTest::addColumn<QString>("option");
    QTest::newRow("port") << "--port";
    QTest::newRow("bridge") << "--bridge";
}

void TestLogCli::unplugAndBack()
{
    QFETCH(QString, option);
    // The logger opens a link that the test points at one cable, then at another.
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("meter"));
    const QString out = dir.filePath(QStringLiteral("rows.txt"));
    auto first = std::make_unique<PseudoTerminal>();
    QVERIFY(first->isOpen());
    QVERIFY(QFile::link(first->slavePath(), link));

    QProcess p;
    startLog(p, {option, link, "--out", out});
    QVERIFY(p.waitForStarted());
    int value = 1001;
    QVERIFY(feedUntil(
        *first, option, value, [&] { return loadRows(out).size() >= 2; }, 10000));

    first->unplug();
    QByteArray err;
    QVERIFY(QTest::qWaitFor([&] { return (err += p.readAllStandardError()).contains("is gone"); }, 5000));
    QCOMPARE(err.count('\n'), 1);
    QVERIFY2(err.contains(link.toLocal8Bit()), err.constData());

    // Alive and reporting once while it retries: a wait over a couple of tries for
    // something that must not happen (an exit, a second report). What the retries cost
    // is measured by bench_link unplug.
    QTest::qWait(2000);
    QCOMPARE(p.state(), QProcess::Running);
    err += p.readAllStandardError();
    QCOMPARE(err.count("is gone"), 1);
    const qsizetype rowsBefore = loadRows(out).size();

    // The cable comes back (as a new device behind the same name): logging resumes.
    PseudoTerminal second;
    QVERIFY(second.isOpen());
    QVERIFY(QFile::remove(link));
    QVERIFY(QFile::link(second.slavePath(), link));
    const bool resumed = feedUntil(
        second, option, value, [&] { return loadRows(out).size() >= rowsBefore + 2; }, 10000);
    err += p.readAllStandardError();
    QVERIFY2(resumed, err.constData());
    QVERIFY2(err.contains("is open; logging"), err.constData());

    ::kill(pid_t(p.processId()), SIGTERM);
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitCode(), 0);
    const QList<ReadingRow> rows = loadRows(out);
    for (qsizetype i = 0; i < rows.size(); ++i)
        QCOMPARE(rows[i].no, qint32(i + 1));
}

enum class Access { Missing, Unreadable, Held };

void TestLogCli::deviceItCannotUse_data()
{
    QTest::addColumn<QString>("option");
    QTest::addColumn<Access>("access");
    QTest::addColumn<QString>("message"); // %1: the device, %2: the program holding it
    const QString permission = QStringLiteral(
        "%1: Permission denied. To use it without root, install the udev rule 60-sorrel.rules, or run "
        "'sudo usermod -aG dialout $USER' and log in again.\n");
    const QString held = QStringLiteral("%1 is in use by another program (process %2).\n");
    const QString port = QStringLiteral("Error: sorrel-cli log: cannot open %1\n");
    const QString bridge = QStringLiteral("Open the equipments mistake\n");
    QTest::newRow("port missing") << "--port" << Access::Missing << QString();
    QTest::newRow("port unreadable") << "--port" << Access::Unreadable << port + permission;
    QTest::newRow("port held") << "--port" << Access::Held << port + held;
    QTest::newRow("bridge missing") << "--bridge" << Access::Missing << QString();
    QTest::newRow("bridge unreadable") << "--bridge" << Access::Unreadable << bridge + permission;
    QTest::newRow("bridge held") << "--bridge" << Access::Held << bridge + held;
}

// No rights and another program's lock end the run at once with the reason; only a
// device that is not there is waited for.
void TestLogCli::deviceItCannotUse()
{
    QFETCH(QString, option);
    QFETCH(Access, access);
    QFETCH(QString, message);
    PseudoTerminal pty;
    QVERIFY(pty.isOpen());
    QTemporaryDir dir;
    const QString device = access == Access::Missing ? dir.filePath(QStringLiteral("nothing")) : pty.slavePath();
    QStringList prefix;
    QProcess holder;
    if (access == Access::Unreadable) {
        // As nobody where the test runs as root.
        if (::geteuid() == 0) {
            const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
            if (setpriv.isEmpty())
                QSKIP("cannot drop privileges here (no setpriv)");
            prefix = QStringList{setpriv, "--reuid=nobody", "--regid=nogroup", "--clear-groups"};
        }
        QCOMPARE(::chmod(device.toLocal8Bit().constData(), ::geteuid() == 0 ? 0600 : 0000), 0);
        QCOMPARE(::chmod(dir.path().toLocal8Bit().constData(), 0777), 0);
    } else if (access == Access::Held) {
        const QString flock = QStandardPaths::findExecutable(QStringLiteral("flock"));
        if (flock.isEmpty())
            QSKIP("no flock(1) to hold the device");
        holder.start(flock, {"--exclusive", "--no-fork", device, "sleep", "600"});
        QVERIFY(holder.waitForStarted());
        QVERIFY(QTest::qWaitFor([&] { return flockHolder(device) == holder.processId(); }, 10000));
    }

    QProcess p;
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    e.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    p.setProcessEnvironment(e);
    const QStringList command = prefix + QStringList{QStringLiteral(SORREL_BINARY_DIR "/sorrel-cli"),
                                                     "log",
                                                     option,
                                                     device,
                                                     "--out",
                                                     dir.filePath("rows.txt")};
    p.start(command.first(), command.mid(1));
    QVERIFY(p.waitForStarted());
    if (access == Access::Missing) {
        QByteArray err;
        QVERIFY(
            QTest::qWaitFor([&] { return (err += p.readAllStandardError()).contains("trying again"); }, 10000));
        QCOMPARE(p.state(), QProcess::Running);
        ::kill(pid_t(p.processId()), SIGTERM);
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitCode(), 0);
        return;
    }
    QVERIFY(p.waitForFinished(10000)); // at once: it does not wait for the device
    const qint64 holderPid = holder.processId();
    holder.kill();
    holder.waitForFinished();
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 1);
    QCOMPARE(QString::fromLocal8Bit(p.readAllStandardError()),
             QString(message)
                 .replace(QStringLiteral("%1"), device)
                 .replace(QStringLiteral("%2"), QString::number(holderPid)));
}

// A cable plugged in while another program has its port (as one that probes new
// ports does for a moment) is waited for, not given up.
void TestLogCli::comesBackHeld()
{
    const QString flock = QStandardPaths::findExecutable(QStringLiteral("flock"));
    if (flock.isEmpty())
        QSKIP("no flock(1) to hold the device");
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("meter"));
    const QString out = dir.filePath(QStringLiteral("rows.txt"));
    QProcess p;
    startLog(p, {"--port", link, "--out", out});
    QVERIFY(p.waitForStarted());
    QByteArray err;
    QVERIFY(QTest::qWaitFor([&] { return (err += p.readAllStandardError()).contains("trying again"); }, 10000));

    PseudoTerminal pty;
    QProcess holder;
    holder.start(flock, {"--exclusive", "--no-fork", pty.slavePath(), "sleep", "600"});
    QVERIFY(holder.waitForStarted());
    QVERIFY(QTest::qWaitFor([&] { return flockHolder(pty.slavePath()) == holder.processId(); }, 10000));
    QVERIFY(QFile::link(pty.slavePath(), link));
    QVERIFY(QTest::qWaitFor(
        [&] { return (err += p.readAllStandardError()).contains("in use by another program"); }, 10000));
    QCOMPARE(p.state(), QProcess::Running);

    holder.kill();
    QVERIFY(holder.waitForFinished());
    int value = 2001;
    QVERIFY(feedUntil(
        pty, "--port", value, [&] { return !loadRows(out).isEmpty(); }, 10000));
    ::kill(pid_t(p.processId()), SIGTERM);
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitCode(), 0);
}

void TestLogCli::interval_data()
{
    QTest::addColumn<QString>("interval");
    QTest::addColumn<int>("rowsToWaitFor");
    QTest::addColumn<int>("thenFeedMs"); // and still no more rows
    // The first reading is recorded at once, not after the first interval.
    QTest::newRow("first reading at once") << "30" << 1 << 1500;
    QTest::newRow("readings between rows left out") << "2" << 2 << 0;
}

void TestLogCli::interval()
{
    QFETCH(QString, interval);
    QFETCH(int, rowsToWaitFor);
    QFETCH(int, thenFeedMs);
    PseudoTerminal pty;
    QVERIFY(pty.isOpen());
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("rows.txt"));
    QProcess p;
    startLog(p, {"--port", pty.slavePath(), "--interval", interval, "--out", out});
    QVERIFY(p.waitForStarted());
    int value = 1001;
    QList<ReadingRow> rows;
    QVERIFY(feedUntil(
        pty, QStringLiteral("--port"), value, [&] { return (rows = loadRows(out)).size() >= rowsToWaitFor; },
        10000));
    if (thenFeedMs > 0)
        feedUntil(
            pty, QStringLiteral("--port"), value, [] { return false; }, thenFeedMs);
    ::kill(pid_t(p.processId()), SIGTERM);
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitCode(), 0);
    rows = loadRows(out);
    QCOMPARE(rows.size(), rowsToWaitFor);
    auto seconds = [](const QString &t) {
        return QTime::fromString(t, u"hh:mm:ss").msecsSinceStartOfDay() / 1000;
    };
    for (qsizetype i = 1; i < rows.size(); ++i) {
        // Readings in between are ignored completely: no row and no number.
        QCOMPARE(rows[i].no, qint32(i + 1));
        QVERIFY(rows[i].value.toInt() > rows[i - 1].value.toInt() + 1);
        QVERIFY2((seconds(rows[i].time) - seconds(rows[i - 1].time) + 86400) % 86400 >= 1,
                 qPrintable(rows[i - 1].time + u' ' + rows[i].time));
    }
}

void TestLogCli::badOptions_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    // OUT stands for a file in a fresh directory.
    QTest::newRow("no meter") << QStringList{"--out", "OUT"} << 2 << "no meter";
    QTest::newRow("two meters") << QStringList{"--demo", "--bridge", "--out", "OUT"} << 2 << "one meter only";
    QTest::newRow("no file") << QStringList{"--demo"} << 2 << "--out FILE is required";
    QTest::newRow("port without device") << QStringList{"--port", "--out", "OUT"} << 2 << "--port needs a value";
    QTest::newRow("count 0") << QStringList{"--demo", "--count", "0", "--out", "OUT"} << 2 << "--count '0'";
    QTest::newRow("interval with a point")
        << QStringList{"--demo", "--interval", "1.5", "--out", "OUT"} << 2 << "--interval '1.5'";
    QTest::newRow("negative duration") << QStringList{"--demo", "--duration=-3", "--out", "OUT"} << 2
                                       << "--duration '-3'";
    QTest::newRow("limit not a number")
        << QStringList{"--demo", "--limit", "many", "--out", "OUT"} << 2 << "--limit 'many'";
    QTest::newRow("unknown option") << QStringList{"--demo", "--fast", "--out", "OUT"} << 2
                                    << "unknown option '--fast'";
    QTest::newRow("unknown profile") << QStringList{"--demo", "--profile", "heron", "--out", "OUT"} << 2
                                     << "unknown profile 'heron'";
    QTest::newRow("port with no serial handler")
        << QStringList{"--port", "/dev/null", "--profile", "egret", "--out", "OUT"} << 2
        << "no serial frame handler";
    QTest::newRow("text file in no folder") << QStringList{"--demo", "--out", "OUT/missing/rows.txt"} << 1
                                            << "Could not save table to specified file: ";
    QTest::newRow("xml file in no folder") << QStringList{"--demo", "--out", "OUT/missing/rows.xml"} << 1
                                           << "Could not save table to specified file: ";
}

void TestLogCli::badOptions()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("rows.txt"));
    args.replaceInStrings(QStringLiteral("OUT"), out);
    QProcess p;
    startLog(p, args);
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitCode(), exitCode);
    QVERIFY(p.readAllStandardOutput().isEmpty());
    const QString err = QString::fromLocal8Bit(p.readAllStandardError());
    QCOMPARE(err.count(u'\n'), 1);
    QVERIFY2(err.contains(message), qPrintable(err));
    QVERIFY(!QFile::exists(out));
}

QTEST_GUILESS_MAIN(TestLogCli)
#include "tst_logcli.moc"
