// sorrel-cli log --out against a full disk and kill -9: whole rows only, the real reason,
// and an XML log's rows kept in its journal.

#include "cli/crashcheck.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <csignal>
#include <memory>

using namespace sorrel;
using namespace crashcheck;

class TestLogCrash : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void logFullDisk_data();
    void logFullDisk();
    void logKilled();
    void earlierJournalKept();
};

void TestLogCrash::logFullDisk_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("count"); // 0: until the disk is full
    QTest::addColumn<int>("freeKiB");
    QTest::newRow("text") << "log.txt" << 0 << 4;
    QTest::newRow("xml, journal fills the disk") << "log.xml" << 0 << 4;
    QTest::newRow("xml, only the packet does not fit") << "log.xml" << 150 << 8;
}

// The disk fills up while rows come in fast.
void TestLogCrash::logFullDisk()
{
    QFETCH(QString, name);
    QFETCH(int, count);
    QFETCH(int, freeKiB);
    const bool xml = name.endsWith(u".xml");
    ScratchMount mount(QStringLiteral("size=16k"));
    if (!mount.mounted())
        QSKIP("mounting a small tmpfs needs root");
    const QString target = mount.filePath(name);
    const QString journal = target + QStringLiteral(".journal");
    const QByteArray old = "old packet\r\n";
    if (xml)
        QVERIFY(writeFile(target, old));
    QVERIFY(mount.leaveFree(freeKiB * 1024));
    Meter meter;
    QVERIFY(meter.pty.isOpen());
    QProcess p;
    QStringList args{"log", "--port", meter.pty.slavePath(), "--out", target};
    if (count)
        args << "--count" << QString::number(count);
    startCli(p, args);
    QVERIFY(p.waitForStarted());
    QElapsedTimer clock;
    clock.start();
    while (!p.waitForFinished(10) && clock.elapsed() < 60000)
        meter.feed(10);
    QCOMPARE(p.state(), QProcess::NotRunning);
    const QString rowsFile = xml ? journal : target;
    const QByteArray bytes = readFile(rowsFile);
    QString why;
    QVERIFY2(wholeRows(bytes, &why), qPrintable(why));
    QCOMPARE(p.exitCode(), 1);
    const QString err = QString::fromLocal8Bit(p.readAllStandardError());
    QVERIFY2(err.contains(qt_error_string(ENOSPC)) && !err.contains(QLatin1String("Unknown error")),
             qPrintable(err));

    qsizetype rows = 0;
    QVERIFY(loadsWithoutError(rowsFile, &rows));
    if (count)
        QCOMPARE(rows, qsizetype(count));
    else
        QVERIFY2(rows > 50, qPrintable(QString::number(rows))); // the disk was full, not the run short
    if (xml) {
        QCOMPARE(readFile(target), old);
        QVERIFY2(err.contains(QStringLiteral("the rows recorded are kept in ") + journal), qPrintable(err));
        QCOMPARE(besides(target), QStringList{QFileInfo(journal).fileName()});
    }
}

// 100 text logs killed at random moments while rows come in, ten at a time, with an XML
// log beside each ten; most are killed after the first rows reached the disk.
void TestLogCrash::logKilled()
{
    constexpr int kTextLogs = 100, kAtOnce = 10, kEarliestKillMs = 300, kLatestKillMs = 2800;
    QTemporaryDir dir;
    QRandomGenerator random(1210);
    int withRows = 0, journalsWithRows = 0;
    for (int round = 0; round < kTextLogs / kAtOnce; ++round) {
        std::vector<std::unique_ptr<Meter>> meters;
        std::vector<std::unique_ptr<QProcess>> logs;
        QList<qint64> killAt;
        QStringList files;
        for (int k = 0; k <= kAtOnce; ++k) {
            meters.push_back(std::make_unique<Meter>());
            QVERIFY(meters.back()->pty.isOpen());
            files << dir.filePath(
                QStringLiteral("log%1.%2").arg(round * kAtOnce + k).arg(k < kAtOnce ? "txt" : "xml"));
            logs.push_back(std::make_unique<QProcess>());
            startCli(*logs.back(), {"log", "--port", meters.back()->pty.slavePath(), "--out", files.back()});
            QVERIFY(logs.back()->waitForStarted());
            killAt << random.bounded(kEarliestKillMs, kLatestKillMs);
        }
        QElapsedTimer clock;
        clock.start();
        for (bool running = true; running;) {
            running = false;
            for (size_t k = 0; k < logs.size(); ++k) {
                if (logs[k]->state() == QProcess::NotRunning)
                    continue;
                if (clock.elapsed() >= killAt[qsizetype(k)]) {
                    ::kill(pid_t(logs[k]->processId()), SIGKILL);
                    QVERIFY(logs[k]->waitForFinished(30000));
                    continue;
                }
                meters[k]->feed(5);
                running = true;
            }
            QTest::qWait(5);
        }
        for (qsizetype k = 0; k < files.size(); ++k) {
            QCOMPARE(logs[size_t(k)]->exitStatus(), QProcess::CrashExit); // none ended on its own
            const bool xml = k == kAtOnce;
            // A killed XML log has no packet; its rows are in the journal.
            if (xml)
                QVERIFY(!QFile::exists(files[k]));
            const QString rowsFile = xml ? files[k] + QStringLiteral(".journal") : files[k];
            QString why;
            QVERIFY2(wholeRows(readFile(rowsFile), &why), qPrintable(rowsFile + u' ' + why));
            qsizetype rows = 0;
            if (!readFile(rowsFile).isEmpty())
                QVERIFY2(loadsWithoutError(rowsFile, &rows), qPrintable(rowsFile));
            (xml ? journalsWithRows : withRows) += rows > 0;
        }
    }
    qInfo("%d text logs killed, %d with rows in them; %d XML logs, %d journals with rows", kTextLogs, withRows,
          kTextLogs / kAtOnce, journalsWithRows);
}

// A journal left by a run that did not end holds its rows: a new run does not touch it.
void TestLogCrash::earlierJournalKept()
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("log.xml"));
    const QByteArray rows = "No\tTime\tValue\tUnit\r\n1\t10:00:00\t12.34\tlux\r\n";
    QVERIFY(writeFile(target + QStringLiteral(".journal"), rows));
    QProcess p;
    startCli(p, {"log", "--demo", "--count", "1", "--out", target});
    QVERIFY(p.waitForFinished(30000));
    QCOMPARE(p.exitCode(), 1);
    const QString err = QString::fromLocal8Bit(p.readAllStandardError());
    QVERIFY2(err.contains(target + QStringLiteral(".journal holds the rows of an earlier run")), qPrintable(err));
    QCOMPARE(readFile(target + QStringLiteral(".journal")), rows);
    QVERIFY(!QFile::exists(target));
}

QTEST_MAIN(TestLogCrash)
#include "tst_logcrash.moc"
