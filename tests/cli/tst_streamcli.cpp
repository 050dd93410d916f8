#include "meterfeed.h"

#include "base/notifier.h"
#include "record/readingfiles.h"

#include <QDateTime>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace sorrel;
using namespace sorrel::test;

// sorrel-cli log writing CSV and JSON lines, to files and to standard output, and
// sorrel-cli convert.
class TestStreamCli : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void filesParse_data();
    void filesParse();
    void stdoutFlushesEachRow();
    void closedPipeEndsCleanly();
    void convert_data();
    void convert();
    void convertToFiles();
};

namespace {

// Reads a CSV or JSON-lines file as Python's csv and json modules do and checks every
// row: numbered from 1, ISO timestamps with an offset that never go back, the reading
// the number of the value text (null for 0L), the verdict one of three.
const char kCheckScript[] = R"(
import csv, json, sys
from datetime import datetime, timedelta
path, fmt, offset, every = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
fields = ["no", "timestamp", "time", "value", "reading", "unit", "verdict", "source"]
if fmt == "csv":
    raw = open(path, "rb").read()
    assert raw.count(b"\r\n") == raw.count(b"\n"), "line ends are not CRLF"
    with open(path, newline="") as f:
        rows = list(csv.reader(f))
    assert rows[0] == fields, rows[0]
    rows = [dict(zip(fields, r)) for r in rows[1:]]
    for r in rows:
        r["no"] = int(r["no"])
        r["reading"] = float(r["reading"]) if r["reading"] else None
        r["verdict"] = r["verdict"] or None
else:
    rows = [json.loads(line) for line in open(path, encoding="utf-8")]
    for r in rows:
        assert list(r.keys()) == fields, list(r.keys())
last = None
for i, r in enumerate(rows):
    assert r["no"] == i + 1, r
    t = datetime.fromisoformat(r["timestamp"])
    assert "." in r["timestamp"] and len(r["timestamp"].split(".")[1]) == 3 + 6, r["timestamp"]
    assert t.utcoffset().total_seconds() == offset * 60, r["timestamp"]
    assert last is None or t >= last, (last, t)
    last = t
    # The time text is taken just before the timestamp: the same second or the one before.
    assert r["time"] in (t.strftime("%H:%M:%S"), (t - timedelta(seconds=1)).strftime("%H:%M:%S")), r
    if r["value"] == "0L":
        assert r["reading"] is None, r
    else:
        assert r["reading"] == float(r["value"]), r
    assert r["verdict"] in ("Pass", "Fail", None), r
    # A serial frame carries no unit.
    assert r["unit"] == "" and r["source"].startswith("/dev/"), r
# Frame f shows 1000 + f, or 0L when f is a multiple of `every`; the logger may start a
# few frames late, but no frame in between is lost, repeated or misplaced.
first = next(int(r["value"]) - 1000 - i for i, r in enumerate(rows) if r["value"] != "0L")
for i, r in enumerate(rows):
    f = first + i
    assert r["value"] == ("0L" if f % every == 0 else str(1000 + f)), (f, r)
print(len(rows), sum(r["value"] == "0L" for r in rows))
)";

QString python()
{
    return QStandardPaths::findExecutable(QStringLiteral("python3"));
}

void waitFinished(QProcess &p)
{
    QVERIFY(p.waitForFinished(30000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
}

} // namespace

void TestStreamCli::initTestCase()
{
    if (python().isEmpty())
        QSKIP("python3 is not installed");
}

void TestStreamCli::filesParse_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("format");
    QTest::addColumn<QString>("kind"); // what the checker reads
    QTest::addColumn<QString>("tz");
    QTest::addColumn<int>("offsetMinutes");
    QTest::newRow("csv by name") << "rows.csv" << QStringList{} << "csv"
                                 << "UTC" << 0;
    QTest::newRow("jsonl by name, offset +05:30") << "rows.jsonl" << QStringList{} << "jsonl"
                                                  << "Asia/Kolkata" << 330;
    QTest::newRow("ndjson by name, offset -03:00") << "rows.ndjson" << QStringList{} << "jsonl"
                                                   << "America/Sao_Paulo" << -180;
    QTest::newRow("csv by --format") << "rows.txt" << QStringList{"--format", "csv"} << "csv"
                                     << "UTC" << 0;
}

void TestStreamCli::filesParse()
{
    QFETCH(QString, name);
    QFETCH(QStringList, format);
    QFETCH(QString, kind);
    QFETCH(QString, tz);
    QFETCH(int, offsetMinutes);
    MeterFeed meter(20, 7);
    QVERIFY(meter.isOpen());
    QTemporaryDir dir;
    const QString out = dir.filePath(name);
    QProcessEnvironment env;
    env.insert(QStringLiteral("TZ"), tz);
    QProcess p;
    startCli(p, QStringList{"log", "--port", meter.path(), "--count", "20", "--out", out} + format, env);
    QVERIFY(p.waitForStarted());
    meter.start();
    QVERIFY(QTest::qWaitFor([&] { return p.state() == QProcess::NotRunning; }, 30000));
    QCOMPARE(p.exitCode(), 0);
    QCOMPARE(p.readAllStandardError(), QByteArray());

    QProcess check;
    check.start(python(), {"-c", kCheckScript, out, kind, QString::number(offsetMinutes), "7"});
    waitFinished(check);
    QVERIFY2(check.exitCode() == 0, check.readAllStandardError().constData());
    // Twenty rows in a row of frames: two or three of them overloads, whichever frame came first.
    const QList<QByteArray> counts = check.readAllStandardOutput().trimmed().split(' ');
    QCOMPARE(counts.value(0), QByteArray("20"));
    QVERIFY2(counts.value(1) == "2" || counts.value(1) == "3", counts.value(1).constData());
}

void TestStreamCli::stdoutFlushesEachRow()
{
    MeterFeed meter(100);
    QVERIFY(meter.isOpen());
    QProcess p;
    startCli(p, {"log", "--port", meter.path(), "--out", "-"});
    QVERIFY(p.waitForStarted());
    meter.start();
    // Every row reaches the reader while the logger still runs, soon after it was
    // recorded. The slack is for a loaded machine; a buffered stream holds rows back
    // until the feed stops and fails the count below.
    QList<qint64> lateMs;
    int firstFrame = 0; // the logger may open the port after the first frames went by
    QByteArray partial;
    QObject::connect(&p, &QProcess::readyReadStandardOutput, [&] {
        partial += p.readAllStandardOutput();
        qsizetype nl;
        while ((nl = partial.indexOf('\n')) >= 0) {
            const QJsonObject o = QJsonDocument::fromJson(partial.left(nl)).object();
            partial.remove(0, nl + 1);
            if (firstFrame == 0)
                firstFrame = o.value(u"value").toString().toInt() - 1000;
            const QDateTime t = QDateTime::fromString(o.value(u"timestamp").toString(), Qt::ISODateWithMs);
            lateMs << (t.isValid() ? t.msecsTo(QDateTime::currentDateTime()) : -1);
        }
    });
    QVERIFY(QTest::qWaitFor([&] { return lateMs.size() >= 10; }, 20000));
    meter.stop();
    const int expected = meter.sent() - (firstFrame - 1);
    QVERIFY(QTest::qWaitFor([&] { return lateMs.size() >= expected; }, 20000));
    QCOMPARE(p.state(), QProcess::Running);
    QCOMPARE(lateMs.size(), expected);
    for (qint64 ms : lateMs)
        QVERIFY2(ms >= 0 && ms < 3000, qPrintable(QString::number(ms)));
    ::kill(pid_t(p.processId()), SIGTERM);
    waitFinished(p);
    QCOMPARE(p.exitCode(), 0);
    QVERIFY(partial.isEmpty());
}

void TestStreamCli::closedPipeEndsCleanly()
{
    MeterFeed meter(20);
    QVERIFY(meter.isOpen());
    QProcess shell;
    // The logger's status and its messages, after head has taken three lines.
    const QString script = QStringLiteral("\"$0\" log --port \"$1\" --out - 2>\"$2\" | head -n 3; "
                                          "echo \"status ${PIPESTATUS[0]}\"; cat \"$2\"");
    QTemporaryDir dir;
    shell.start(QStringLiteral("bash"), {"-c", script, cliPath(), meter.path(), dir.filePath("err")});
    QVERIFY(shell.waitForStarted());
    meter.start();
    QVERIFY(QTest::qWaitFor([&] { return shell.state() == QProcess::NotRunning; }, 30000));
    const QList<QByteArray> lines = shell.readAllStandardOutput().split('\n');
    QCOMPARE(lines.size(), 5); // three rows, the status, the empty end
    for (int i = 0; i < 3; ++i)
        QCOMPARE(QJsonDocument::fromJson(lines[i]).object().value(u"no").toInt(), i + 1);
    QCOMPARE(lines[3], QByteArray("status 0"));
}

void TestStreamCli::convert_data()
{
    QTest::addColumn<QString>("input");    // saved by the window's saver, then appended to
    QTest::addColumn<QByteArray>("tail");  // bytes appended to the saved file
    QTest::addColumn<QStringList>("args"); // after convert IN
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("output"); // standard output
    const QByteArray csv = "no,timestamp,time,value,reading,unit,verdict,source\r\n"
                           "1,,10:00:01,12.5,12.5,lux,,\r\n"
                           "2,,10:00:02,0L,,lux,,\r\n"
                           "3,,\"10:00,03\",\"a\"\"b\",,fc,,\r\n";
    const QByteArray jsonl =
        "{\"no\":1,\"timestamp\":null,\"time\":\"10:00:01\",\"value\":\"12.5\",\"reading\":12.5,\"unit\":\"lux\","
        "\"verdict\":null,\"source\":null}\n"
        "{\"no\":2,\"timestamp\":null,\"time\":\"10:00:02\",\"value\":\"0L\",\"reading\":null,\"unit\":\"lux\","
        "\"verdict\":null,\"source\":null}\n"
        "{\"no\":3,\"timestamp\":null,\"time\":\"10:00,03\",\"value\":\"a\\\"b\",\"reading\":null,\"unit\":\"fc\","
        "\"verdict\":null,\"source\":null}\n";
    QTest::newRow("xml packet to csv") << "saved.xml" << QByteArray()
                                       << QStringList{"--out", "-", "--format", "csv"} << 0 << csv;
    QTest::newRow("text to jsonl by default")
        << "saved.txt" << QByteArray() << QStringList{"--out", "-"} << 0 << jsonl;
    QTest::newRow("bad line: rows before it written")
        << "saved.txt" << QByteArray("x\t1\t2\t3\r\n") << QStringList{"--out", "-", "--format", "csv"} << 1 << csv;
    QTest::newRow("bad line, strict: nothing") << "saved.txt" << QByteArray("x\t1\t2\t3\r\n")
                                               << QStringList{"--out", "-", "--strict"} << 1 << QByteArray();
    QTest::newRow("broken packet: nothing")
        << "saved.xml" << QByteArray("<junk") << QStringList{"--out", "-", "--format", "csv"} << 1
        << QByteArray("no,timestamp,time,value,reading,unit,verdict,source\r\n");
}

void TestStreamCli::convert()
{
    QFETCH(QString, input);
    QFETCH(QByteArray, tail);
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, output);
    QTemporaryDir dir;
    const QString in = dir.filePath(input);
    ReadingTable table;
    table.append({1, "10:00:01", "12.5", "lux"});
    table.append({2, "10:00:02", "0L", "lux"});
    table.append({3, "10:00,03", "a\"b", "fc"});
    RecordingNotifier messages;
    QVERIFY(SaveReadingFile(table, in).tell(messages));
    QFile f(in);
    QVERIFY(f.open(QIODevice::Append));
    f.write(tail);
    f.close();

    QProcess p;
    startCli(p, QStringList{"convert", in} + args);
    waitFinished(p);
    QCOMPARE(p.exitCode(), exitCode);
    QCOMPARE(p.readAllStandardOutput(), output);
    QCOMPARE(p.readAllStandardError(), exitCode ? QByteArray("Error: Failed to Load File!\n") : QByteArray());
}

void TestStreamCli::convertToFiles()
{
    // An XML packet becomes the text file the window's saver writes, and a CSV file.
    QTemporaryDir dir;
    ReadingTable table;
    for (int i = 1; i <= 50; ++i)
        table.append({i, "10:00:01", QString::number(i * 1.5), i % 2 ? "lux" : "fc"});
    RecordingNotifier messages;
    QVERIFY(SaveReadingFile(table, dir.filePath("in.xml")).tell(messages));
    QVERIFY(SaveReadingFile(table, dir.filePath("saved.txt")).tell(messages));
    for (const QString &out : QStringList{"out.txt", "out.csv"}) {
        QProcess p;
        startCli(p, {"convert", dir.filePath("in.xml"), "--out", dir.filePath(out)});
        waitFinished(p);
        QCOMPARE(p.exitCode(), 0);
        QCOMPARE(p.readAllStandardError(), QByteArray());
    }
    QFile converted(dir.filePath("out.txt")), saved(dir.filePath("saved.txt")), csv(dir.filePath("out.csv"));
    QVERIFY(converted.open(QIODevice::ReadOnly) && saved.open(QIODevice::ReadOnly)
            && csv.open(QIODevice::ReadOnly));
    QCOMPARE(converted.readAll(), saved.readAll());
    const QList<QByteArray> lines = csv.readAll().split('\n');
    QCOMPARE(lines.size(), 52);
    QCOMPARE(lines[50], QByteArray("50,,10:00:01,75,75,fc,,\r"));
}

QTEST_MAIN(TestStreamCli)
#include "tst_streamcli.moc"
