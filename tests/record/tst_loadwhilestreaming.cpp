// A meter streams into the window over the USB bridge while a large reading file
// loads behind the progress dialog: the frames keep reaching the panel, none reaches
// the table, the numbers or the chart, and the frame after the load is recorded with
// the next number.

#include "app/gui/tfcomm.h"
#include "link/bridgelink.h"
#include "link/meterlinks.h"
#include "link/pseudoterminal.h"
#include "link/ternframeencoder.h"
#include "record/gui/readinggridmodel.h"
#include "record/gui/readinggridview.h"
#include "record/gui/trendchartview.h"
#include "record/readingfiles.h"
#include "record/recorder.h"
#include "support/testhelpers.h"

#include <QAbstractButton>
#include <QProgressDialog>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace sorrel;
using namespace sorrel::test;

namespace {

constexpr int kWait = 10000;  // generous: CI shares two cores
constexpr int kRows = 200000; // a few MiB: the loaders report progress per MiB read
constexpr int kFramesDuringLoad = 5;

QByteArray frameShowing(const QString &shown)
{
    TernDisplay d = *TernDisplay::fromText(shown);
    d.set(TernBit::LUX);
    return encodeTernBridgeFrame(d);
}

struct Row {
    std::optional<qint32> no;
    QString time, value, unit;
    bool operator==(const Row &) const = default;
};

Row rowAt(const ReadingTable &t, qsizetype i)
{
    return {t.no(i), t.time(i), t.value(i), t.unit(i)};
}

QString describe(const Row &r)
{
    return QStringLiteral("%1|%2|%3|%4").arg(r.no ? QString::number(*r.no) : QString(), r.time, r.value, r.unit);
}

QProgressDialog *shownProgress(QWidget *window)
{
    for (QProgressDialog *d : window->findChildren<QProgressDialog *>())
        if (d->isVisible())
            return d;
    return nullptr;
}

} // namespace

class TestLoadWhileStreaming : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void cleanup() { qunsetenv("SORREL_BRIDGE"); }
    void liveFramesStayOutOfTheFile_data();
    void liveFramesStayOutOfTheFile();

private:
    bool sendAndWait(PseudoTerminal &meter, TFCOMM &w, const QString &shown);
};

// Writes one frame and waits until the window has decoded it.
bool TestLoadWhileStreaming::sendAndWait(PseudoTerminal &meter, TFCOMM &w, const QString &shown)
{
    int decoded = 0;
    const auto counter = connect(&w.session(), &MeterSession::frameDecoded, this, [&] { ++decoded; });
    const bool ok = meter.write(frameShowing(shown)) && QTest::qWaitFor([&] { return decoded > 0; }, kWait);
    disconnect(counter);
    return ok;
}

void TestLoadWhileStreaming::liveFramesStayOutOfTheFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("text file appends") << "big.txt";
    QTest::newRow("xml file replaces") << "big.xml";
}

void TestLoadWhileStreaming::liveFramesStayOutOfTheFile()
{
    QFETCH(QString, name);
    ScratchDir dir;
    QVERIFY(dir.isValid());
    const QString file = dir.file(name);
    ReadingTable saved;
    for (int i = 0; i < kRows; ++i)
        saved.append({i + 1, QStringLiteral("08:%1:%2").arg(i / 60 % 60).arg(i % 60), QString::number(i % 977),
                      QStringLiteral("fc")});
    RecordingNotifier fileNotifier;
    QVERIFY(SaveReadingFile(saved, file).tell(fileNotifier));

    PseudoTerminal meter;
    QVERIFY(meter.isOpen());
    qputenv("SORREL_BRIDGE", meter.slavePath().toLocal8Bit());
    RecordingNotifier notifier;
    TFCOMM w(AppOptions{}, notifier);
    auto *Chtshow = control<TrendChartView>(w, "Chtshow");
    auto *Bt10 = control<QAbstractButton>(w, "Bt10");
    auto *DBGrid1 = control<ReadingGridView>(w, "DBGrid1");
    w.setLoadProgressDelay(0); // the dialog, and with it the event loop, from the first MiB
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QTest::mouseClick(control<QPushButton>(w, "USB"), Qt::LeftButton);
    QVERIFY(w.links().bridge().opened());

    const QString sep = w.session().state().decimalSeparator;
    QVERIFY(sendAndWait(meter, w, QStringLiteral("1.111")));
    QVERIFY(sendAndWait(meter, w, QStringLiteral("2.222")));
    QCOMPARE(w.readings().rowCount(), qsizetype(2));
    QList<Row> expected;
    if (!isXmlReadingFile(name))
        expected << rowAt(w.readings(), 0) << rowAt(w.readings(), 1);
    for (qsizetype i = 0; i < saved.rowCount(); ++i)
        expected << rowAt(saved, i);
    const qint64 points = Chtshow->model().pointCount();
    const QString page = Bt10->text();

    // Once the progress shows, the meter sends a few frames, each waited for in the
    // event loop the progress runs, as it would be by a user watching the panel.
    QStringList panelDuring, sentDuring;
    qsizetype rowsBefore = -1, rowsAfterFrames = -1;
    bool heldDuring = false;
    QTimer watcher;
    watcher.setInterval(0);
    connect(&watcher, &QTimer::timeout, this, [&] {
        if (!sentDuring.isEmpty() || !shownProgress(&w))
            return;
        watcher.stop();
        rowsBefore = w.readings().rowCount();
        heldDuring = w.recorder()->loading();
        for (int i = 1; i <= kFramesDuringLoad; ++i) {
            const QString shown = QStringLiteral("5.55%1").arg(i);
            sentDuring << shown;
            if (!sendAndWait(meter, w, shown))
                return;
            panelDuring << w.session().state().currentValue;
        }
        rowsAfterFrames = w.readings().rowCount();
    });
    watcher.start();
    w.loadReadingFileFrom(file);
    watcher.stop();

    QVERIFY2(notifier.messages.isEmpty(), qPrintable(notifier.texts().join(u'\n')));
    QVERIFY2(!sentDuring.isEmpty(), "the progress dialog never showed");
    QVERIFY(heldDuring);
    QVERIFY(!w.recorder()->loading());
    // Decoded for the panel while the load ran, recorded nowhere.
    QStringList shownOnPanel = sentDuring;
    shownOnPanel.replaceInStrings(QStringLiteral("."), sep);
    QCOMPARE(panelDuring, shownOnPanel);
    QCOMPARE(rowsAfterFrames, rowsBefore);
    QCOMPARE(w.readings().rowCount(), qsizetype(expected.size()));
    for (qsizetype i = 0; i < w.readings().rowCount(); ++i)
        if (rowAt(w.readings(), i) != expected[i])
            QFAIL(qPrintable(QStringLiteral("row %1: %2, not %3")
                                 .arg(i)
                                 .arg(describe(rowAt(w.readings(), i)), describe(expected[i]))));
    QCOMPARE(w.recorder()->nextNumber(), 3);
    QCOMPARE(w.recorder()->recordedCount(), 2);
    QCOMPARE(Chtshow->model().pointCount(), points);
    QCOMPARE(Bt10->text(), page);
    QCOMPARE(DBGrid1->model()->rowCount(), int(expected.size()));

    // Recording goes on with the next frame and the next number.
    QVERIFY(sendAndWait(meter, w, QStringLiteral("3.333")));
    QCOMPARE(w.readings().rowCount(), qsizetype(expected.size() + 1));
    const Row last = rowAt(w.readings(), expected.size());
    QCOMPARE(last.no, 3);
    QCOMPARE(last.value, QStringLiteral("3") + sep + QStringLiteral("333"));
    QCOMPARE(last.unit, QStringLiteral("lux"));
    QCOMPARE(Chtshow->model().pointCount(), points + 1);
    QCOMPARE(DBGrid1->model()->rowCount(), int(expected.size() + 1));
}

QTEST_MAIN(TestLoadWhileStreaming)
#include "tst_loadwhilestreaming.moc"
