// sorrel-cli decode --save against a full disk and kill -9: the target holds the complete
// old file or the complete new one, and nothing is left beside it.

#include "cli/crashcheck.h"
#include "record/replacingfile.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <memory>

using namespace sorrel;
using namespace crashcheck;

class TestSaveCrash : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void decodeSaveFullDisk_data();
    void decodeSaveFullDisk();
    void decodeSaveKilled();
};

void TestSaveCrash::decodeSaveFullDisk_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("freeKiB");
    for (const char *name : {"t.txt", "t.xml"}) {
        QTest::addRow("%s, 5 rows, 0 KiB free", name) << QString::fromLatin1(name) << 5 << 0;
        QTest::addRow("%s, 300 rows, 4 KiB free", name) << QString::fromLatin1(name) << 300 << 4;
    }
}

// Tables smaller than any write buffer: the full disk shows only when the file is flushed.
void TestSaveCrash::decodeSaveFullDisk()
{
    QFETCH(QString, name);
    QFETCH(int, rows);
    QFETCH(int, freeKiB);
    ScratchMount mount(QStringLiteral("size=16k"));
    if (!mount.mounted())
        QSKIP("mounting a small tmpfs needs root");
    QTemporaryDir inputs;
    const QString capture = inputs.filePath(QStringLiteral("in.bin"));
    QVERIFY(writeFile(capture, bridgeCapture(rows, 1000)));
    const QString target = mount.filePath(name);
    const QByteArray old = "old table\r\n";
    QVERIFY(writeFile(target, old));
    QVERIFY(mount.leaveFree(freeKiB * 1024));

    QProcess p;
    startCli(p, decodeArgs(capture, target));
    QVERIFY(p.waitForFinished(30000));
    QCOMPARE(readFile(target), old);
    QCOMPARE(besides(target), QStringList());
    QCOMPARE(p.exitCode(), 1);
    const QString err = QString::fromLocal8Bit(p.readAllStandardError());
    QVERIFY2(err.contains(target) && err.contains(qt_error_string(ENOSPC)), qPrintable(err));
}

namespace {

qint64 median(QList<qint64> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values[values.size() / 2];
}

// One target saved over and over, each save killed at a moment of its own.
struct KillLane {
    QString target, folder;
    QStringList captures;
    QList<QByteArray> complete; // each capture's file, times left out
    QList<qint64> runNs, saveNs;
    std::unique_ptr<QProcess> run;
    QElapsedTimer clock;
    qint64 killAtNs = -1; // -1: when the save has begun, plus a moment
    QByteArray old;
    int kills = 0, midSave = 0, becameNew = 0, leftovers = 0;

    // A save that runs to its end; it clears what killed ones left.
    void wholeSave(int v)
    {
        clock.start();
        QProcess p;
        startCli(p, decodeArgs(captures[v], target));
        QVERIFY(p.waitForStarted());
        // The save lasts while the new file is open: what the process does after it closed
        // the file (a sanitizer's leak check at exit, say) is no time for a kill to land in.
        qint64 saveStart = -1, saveEnd = -1;
        while (!p.waitForFinished(0)) {
            const bool open = saveEnd < 0 && writesIn(p.processId(), folder);
            if (saveStart < 0 && open)
                saveStart = clock.nsecsElapsed();
            else if (saveStart >= 0 && saveEnd < 0 && !open)
                saveEnd = clock.nsecsElapsed();
        }
        runNs << clock.nsecsElapsed();
        if (saveStart >= 0)
            saveNs << (saveEnd >= 0 ? saveEnd : clock.nsecsElapsed()) - saveStart;
        QCOMPARE(p.exitCode(), 0);
        QCOMPARE(besides(target), QStringList());
        if (complete.size() > v)
            QCOMPARE(withoutTimes(readFile(target)), complete[v]);
    }

    // Nearly every kill falls while the new file is written (as long as a whole save
    // takes, from its start); every fifth falls anywhere in the run.
    void start(QRandomGenerator &random)
    {
        old = readFile(target);
        run = std::make_unique<QProcess>();
        startCli(*run, decodeArgs(captures[kills % 2], target));
        QVERIFY(run->waitForStarted());
        clock.start();
        killAtNs = kills % 5 == 4 ? qint64(random.bounded(double(median(runNs)))) : -1;
    }

    // Kills the save when its moment has come; false while it runs on.
    bool step(QRandomGenerator &random)
    {
        if (killAtNs < 0 && writesIn(run->processId(), folder))
            killAtNs = clock.nsecsElapsed() + qint64(random.bounded(double(median(saveNs))));
        const bool ended = run->waitForFinished(0);
        if (!ended && (killAtNs < 0 || clock.nsecsElapsed() < killAtNs))
            return false;
        if (!ended) { // a process reaped has no pid to kill any more
            midSave += writesIn(run->processId(), folder);
            ::kill(pid_t(run->processId()), SIGKILL);
            if (!run->waitForFinished(30000))
                QTest::qFail("the killed save did not end", __FILE__, __LINE__);
        }
        run.reset();
        return true;
    }

    void check()
    {
        const int v = kills % 2;
        const QByteArray now = readFile(target);
        QVERIFY2(now == old || withoutTimes(now) == complete[v],
                 qPrintable(QStringLiteral("%1, kill %2: %3 bytes, neither old nor new")
                                .arg(target)
                                .arg(kills)
                                .arg(now.size())));
        becameNew += now != old;
        for (const QString &other : besides(target)) {
            QVERIFY2(ReplacingFile::isLeftover(target, other), qPrintable(other));
            ++leftovers;
        }
    }
};

} // namespace

// 200 saves each of a text file and of an XML packet over an existing file, killed at
// random moments: two targets of each format, 100 saves each, side by side.
void TestSaveCrash::decodeSaveKilled()
{
    constexpr int kRows = 1500, kKills = 100, kCheckEvery = 20;
    QTemporaryDir inputs, folders[4];
    KillLane lanes[4];
    for (int k = 0; k < 4; ++k) {
        QVERIFY(folders[k].isValid());
        lanes[k].folder = folders[k].path();
        lanes[k].target = folders[k].filePath(k % 2 ? QStringLiteral("table.xml") : QStringLiteral("table.txt"));
    }
    for (int v = 0; v < 2; ++v) {
        const QString capture = inputs.filePath(QStringLiteral("in%1.bin").arg(v));
        QVERIFY(writeFile(capture, bridgeCapture(kRows, 1000 + 3000 * v)));
        for (KillLane &lane : lanes) {
            lane.captures << capture;
            lane.wholeSave(v);
            if (QTest::currentTestFailed())
                return;
            lane.complete << withoutTimes(readFile(lane.target));
            qsizetype rows = 0;
            QVERIFY(loadsWithoutError(lane.target, &rows));
            QCOMPARE(rows, qsizetype(kRows));
        }
    }
    for (const KillLane &lane : lanes)
        QVERIFY(lane.complete[0] != lane.complete[1]);

    QRandomGenerator random(20261210);
    for (KillLane &lane : lanes)
        lane.start(random);
    // Each lane's file holds the other capture's rows, or those of the save before.
    for (int busy = 1; busy > 0;) {
        busy = 0;
        for (KillLane &lane : lanes) {
            if (lane.kills == kKills)
                continue;
            ++busy;
            if (!lane.step(random))
                continue;
            lane.check();
            if (++lane.kills % kCheckEvery == 0)
                lane.wholeSave((lane.kills - 1) % 2);
            if (QTest::currentTestFailed())
                return;
            if (lane.kills < kKills)
                lane.start(random);
        }
        ::usleep(50);
    }
    for (const KillLane &lane : lanes) {
        qInfo(
            "%s: %d kills, %d while the new file was open, %d left the new file, %d leftovers seen; run %.0f ms, "
            "save %.1f ms (medians)",
            qPrintable(QFileInfo(lane.target).fileName()), lane.kills, lane.midSave, lane.becameNew,
            lane.leftovers, median(lane.runNs) / 1e6, median(lane.saveNs) / 1e6);
        // A kill that never meets a save in progress proves nothing.
        QVERIFY2(lane.midSave >= kKills / 10, "too few kills landed while the file was written");
    }
}

QTEST_MAIN(TestSaveCrash)
#include "tst_savecrash.moc"
