#include "record/recorder.h"
#include "record/trendchartmodel.h"

#include <QTest>

using namespace sorrel;

namespace {

// One recorder over real table, controller and chart model, with a fixed clock.
struct Bench {
    ReadingState state;
    LcdPanelState panel;
    ReadingTable table;
    TrendChartModel chart;
    TChartControl control{chart, 100};
    RecordingNotifier notifier;
    Recorder recorder{table, control, state, panel, notifier, QStringLiteral(":")};
    QList<int> pages;

    Bench()
    {
        recorder.clock = [] { return QTime(10, 15, 2); };
        QObject::connect(&recorder, &Recorder::pointAdded, &recorder, [this](int p) { pages.append(p); });
    }
    void feed(const QString &value, const QString &unit = QStringLiteral("lux"), float count = 1)
    {
        state.currentValue = value;
        state.currentUnit = unit;
        state.lastReading = count;
        recorder.INDataToTable();
    }
    qint64 readingsCharted() const { return chart.pointCount() - 1; } // less the placeholder
    QList<qint32> numbers() const
    {
        QList<qint32> out;
        for (qsizetype i = 0; i < table.rowCount(); ++i)
            out.append(table.no(i).value_or(-1));
        return out;
    }
};

} // namespace

class TestRecorder : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void rowDecision_data();
    void rowDecision();
    void recordsRowFields();
    void limitReachedAndRaised();
    void intervalCountdown();
    void intervalText_data();
    void intervalText();
    void newKeepsChartAndKey();
    void scaling_data();
    void scaling();
    void valueRange_data();
    void valueRange();
    void valueRangeReachesChart();
    void loadingHoldNests();
};

void TestRecorder::rowDecision_data()
{
    QTest::addColumn<bool>("repeat");
    QTest::addColumn<QStringList>("readings"); // "value|unit"
    QTest::addColumn<QList<qint32>>("numbers");

    QTest::newRow("repeat off skips numbers of repeats")
        << false << QStringList{"1.234|lux", "1.234|lux", "1.235|lux"} << QList<qint32>{1, 3};
    QTest::newRow("unit is part of the key")
        << false << QStringList{"1.234|lux", "1.234|fc"} << QList<qint32>{1, 2};
    QTest::newRow("key is the exact text")
        << false << QStringList{"1.234|lux", "1.234|LUX", "1.2340|lux"} << QList<qint32>{1, 2, 3};
    QTest::newRow("repeat on records every reading")
        << true << QStringList{"1.234|lux", "1.234|lux", "1.234|lux"} << QList<qint32>{1, 2, 3};
    QTest::newRow("first reading recorded with an empty unit")
        << false << QStringList{"0.000|"} << QList<qint32>{1};
    QTest::newRow("first reading empty value and unit refused")
        << false << QStringList{"|", "|", "5|lux"} << QList<qint32>{3};
    QTest::newRow("back to an older key is a change")
        << false << QStringList{"1|lux", "2|lux", "1|lux"} << QList<qint32>{1, 2, 3};
}

void TestRecorder::rowDecision()
{
    QFETCH(bool, repeat);
    QFETCH(QStringList, readings);
    QFETCH(QList<qint32>, numbers);
    Bench b;
    b.recorder.setRepeat(repeat);
    for (const QString &r : readings)
        b.feed(r.section(u'|', 0, 0), r.section(u'|', 1, 1));
    QCOMPARE(b.numbers(), numbers);
    QCOMPARE(b.recorder.recordedCount(), numbers.size());
    QCOMPARE(b.recorder.nextNumber(), readings.size() + 1);
    // Refused repeats still reach the chart.
    QCOMPARE(b.readingsCharted(), readings.size());
}

void TestRecorder::recordsRowFields()
{
    Bench b;
    b.recorder.clock = [] { return QTime(9, 5, 3); };
    b.feed(QStringLiteral("1.234"), QStringLiteral("lux"));
    QCOMPARE(b.table.row(0), (ReadingRow{1, "09:05:03", "1.234", "lux"}));

    // The locale's time separator, whatever it is.
    Bench dots;
    Recorder r(dots.table, dots.control, dots.state, dots.panel, dots.notifier, QStringLiteral("."));
    r.clock = [] { return QTime(23, 59, 0); };
    dots.state.currentValue = QStringLiteral("0.L");
    r.INDataToTable();
    QCOMPARE(dots.table.time(0), QStringLiteral("23.59.00"));
    QCOMPARE(dots.table.value(0), QStringLiteral("0.L"));
    QCOMPARE(dots.table.no(0), 1);
}

void TestRecorder::limitReachedAndRaised()
{
    Bench b;
    b.recorder.setRecordLimit(1000);
    for (int i = 0; i < 1000; ++i)
        b.feed(QStringLiteral("1.0"));
    QCOMPARE(b.table.rowCount(), 1000);
    QCOMPARE(b.recorder.nextNumber(), 1001);
    const QList<int> pagesBefore = b.pages;

    b.feed(QStringLiteral("2.0"));
    QCOMPARE(b.table.rowCount(), 1000);
    QCOMPARE(b.recorder.nextNumber(), 1001);
    QCOMPARE(b.readingsCharted(), 1000);
    QCOMPARE(b.pages, pagesBefore); // nothing at all happened

    b.recorder.setRecordLimit(5000);
    b.feed(QStringLiteral("3.0"));
    QCOMPARE(b.table.rowCount(), 1001);
    QCOMPARE(b.table.no(1000), 1001);
    QCOMPARE(b.table.value(1000), QStringLiteral("3.0"));

    // Lowering the limit below the count stops at once; the rows stay.
    b.recorder.setRecordLimit(1000);
    b.feed(QStringLiteral("4.0"));
    QCOMPARE(b.table.rowCount(), 1001);
    QCOMPARE(b.readingsCharted(), 1001);
}

void TestRecorder::intervalCountdown()
{
    Bench b;
    b.recorder.setSamplingInterval(true);
    b.recorder.RecordSITimeChange(QStringLiteral("5"));
    // Editing the interval starts a wait of its own.
    QCOMPARE(b.recorder.countdown(), 5);
    for (int i = 0; i < 5; ++i)
        b.recorder.TrecordTimer();
    QCOMPARE(b.recorder.countdown(), 0);

    b.feed(QStringLiteral("1"));
    QCOMPARE(b.table.rowCount(), 1);
    QCOMPARE(b.recorder.countdown(), 5);
    for (int tick = 0; tick < 5; ++tick) {
        b.feed(QStringLiteral("2"));
        QCOMPARE(b.table.rowCount(), 1);
        QCOMPARE(b.readingsCharted(), 1);
        QCOMPARE(b.recorder.nextNumber(), 2);
        b.recorder.TrecordTimer();
    }
    b.feed(QStringLiteral("3"));
    QCOMPARE(b.numbers(), (QList<qint32>{1, 2}));
    QCOMPARE(b.readingsCharted(), 2);

    // Ticks count only while the interval is switched on.
    b.recorder.setSamplingInterval(false);
    b.recorder.TrecordTimer();
    QCOMPARE(b.recorder.countdown(), 5);
    // Reloaded on each row even with the interval off.
    b.feed(QStringLiteral("4"));
    QCOMPARE(b.recorder.countdown(), 5);

    // Clearing the edit: the next reading goes in at once.
    b.recorder.setSamplingInterval(true);
    b.recorder.RecordSITimeChange(QString());
    b.feed(QStringLiteral("5"));
    QCOMPARE(b.table.rowCount(), 4);

    // A repeat refused leaves the countdown at 0: the next change records at once.
    b.recorder.RecordSITimeChange(QStringLiteral("3"));
    for (int i = 0; i < 3; ++i)
        b.recorder.TrecordTimer();
    b.recorder.setRepeat(false);
    b.feed(QStringLiteral("5"));
    QCOMPARE(b.table.rowCount(), 4);
    QCOMPARE(b.recorder.countdown(), 0);
    b.feed(QStringLiteral("6"));
    QCOMPARE(b.table.rowCount(), 5);
    QCOMPARE(b.recorder.countdown(), 3);
}

void TestRecorder::intervalText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint32>("seconds");
    QTest::newRow("digits") << "5" << 5;
    QTest::newRow("leading zeros") << "007" << 7;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("minus alone") << "-" << 0;
    QTest::newRow("plus alone") << "+" << 0;
    QTest::newRow("largest 32-bit") << "2147483647" << 2147483647;
    // Our choice: what cannot be a wait of whole seconds is no wait, so recording goes on.
    QTest::newRow("too long for 32 bits") << "99999999999999999999" << 0;
    QTest::newRow("negative") << "-5" << 0;
    QTest::newRow("pasted letters") << "1a" << 0;
}

void TestRecorder::intervalText()
{
    QFETCH(QString, text);
    QFETCH(qint32, seconds);
    QCOMPARE(samplingIntervalFromText(text), seconds);

    Bench b;
    b.recorder.setSamplingInterval(true);
    b.recorder.RecordSITimeChange(text);
    QCOMPARE(b.recorder.countdown(), seconds);
    if (seconds == 0) {
        // Recording goes on: every reading is taken.
        for (int i = 0; i < 3; ++i)
            b.feed(QString::number(i));
        QCOMPARE(b.table.rowCount(), 3);
    }
}

void TestRecorder::newKeepsChartAndKey()
{
    Bench b;
    b.recorder.RecordNewClick(); // on an empty table too
    QCOMPARE(b.notifier.messages,
             (QList<RecordingNotifier::Message>{{MessageKind::Information, " Record deleted "}}));

    b.recorder.setRepeat(false);
    b.feed(QStringLiteral("1.234"));
    b.feed(QStringLiteral("1.235"));
    QCOMPARE(b.readingsCharted(), 2);
    b.recorder.setRecordLimit(2);
    b.recorder.RecordNewClick();
    QCOMPARE(b.notifier.messages.size(), 2);
    QVERIFY(b.table.isEmpty());
    QCOMPARE(b.recorder.nextNumber(), 1);
    QCOMPARE(b.recorder.recordedCount(), 0);
    QCOMPARE(b.recorder.recordLimit(), 2);
    QCOMPARE(b.readingsCharted(), 2);

    // The key of the last row before "New" still counts.
    b.feed(QStringLiteral("1.235"));
    QVERIFY(b.table.isEmpty());
    QCOMPARE(b.readingsCharted(), 3);
    b.feed(QStringLiteral("1.236"));
    QCOMPARE(b.numbers(), (QList<qint32>{2}));
}

void TestRecorder::scaling_data()
{
    QTest::addColumn<QStringList>("lit");
    QTest::addColumn<double>("scaled");
    QTest::newRow("none") << QStringList{} << 1234.0;
    QTest::newRow("P1") << QStringList{"LcdP1"} << 1.234;
    QTest::newRow("P2") << QStringList{"LcdP2"} << 12.34;
    QTest::newRow("P3") << QStringList{"LcdP3"} << 123.4;
    QTest::newRow("P1 and P3: the first lit decides") << QStringList{"LcdP3", "LcdP1"} << 1.234;
    QTest::newRow("P2 and P3") << QStringList{"LcdP2", "LcdP3"} << 12.34;
}

void TestRecorder::scaling()
{
    QFETCH(QStringList, lit);
    QFETCH(double, scaled);
    Bench b;
    for (Ind p : {Ind::LcdP1, Ind::LcdP2, Ind::LcdP3})
        b.panel.setShown(p, lit.contains(QString::fromLatin1(indicatorName(p))));
    QCOMPARE(scaledReading(1234, b.panel), scaled);
    b.feed(QStringLiteral("x"), QStringLiteral("lux"), 1234);
    QCOMPARE(b.chart.point(1), double(float(scaled)));
}

void TestRecorder::valueRange_data()
{
    QTest::addColumn<double>("v");
    QTest::addColumn<bool>("changes");
    QTest::addColumn<double>("max");
    QTest::newRow("15") << 15.0 << true << 20.0;
    QTest::newRow("20") << 20.0 << true << 20.0;
    QTest::newRow("20.01") << 20.01 << true << 200.0;
    QTest::newRow("200") << 200.0 << true << 200.0;
    QTest::newRow("1999.9") << 1999.9 << true << 2000.0;
    QTest::newRow("2000.1") << 2000.1 << true << 20000.0;
    QTest::newRow("20000") << 20000.0 << true << 20000.0;
    QTest::newRow("20000.5") << 20000.5 << false << 0.0;
    QTest::newRow("signed: -5000 is below 20") << -5000.0 << true << 20.0;
}

void TestRecorder::valueRange()
{
    QFETCH(double, v);
    QFETCH(bool, changes);
    QFETCH(double, max);
    const auto range = valueRangeFor(v);
    QCOMPARE(range.has_value(), changes);
    if (changes)
        QCOMPARE(*range, std::make_pair(max, -max));
}

void TestRecorder::valueRangeReachesChart()
{
    Bench b;
    QCOMPARE(b.chart.valueMaximum(), 2000.0); // until the first reading
    b.feed(QStringLiteral("15"), QStringLiteral("lux"), 15);
    QCOMPARE(std::make_pair(b.chart.valueMaximum(), b.chart.valueMinimum()), std::make_pair(20.0, -20.0));
    b.feed(QStringLiteral("1500"), QStringLiteral("lux"), 1500);
    QCOMPARE(std::make_pair(b.chart.valueMaximum(), b.chart.valueMinimum()), std::make_pair(2000.0, -2000.0));
    b.feed(QStringLiteral("25000"), QStringLiteral("lux"), 25000);
    QCOMPARE(std::make_pair(b.chart.valueMaximum(), b.chart.valueMinimum()), std::make_pair(2000.0, -2000.0));
    // Shrinks as readily as it grows.
    b.feed(QStringLiteral("5"), QStringLiteral("lux"), 5);
    QCOMPARE(std::make_pair(b.chart.valueMaximum(), b.chart.valueMinimum()), std::make_pair(20.0, -20.0));
    QCOMPARE(b.pages.size(), 4);
}

// Nothing at all happens to a reading under a hold, until the outermost one ends.
void TestRecorder::loadingHoldNests()
{
    Bench b;
    b.recorder.setRepeat(false);
    b.feed(QStringLiteral("1.0"));
    {
        const Recorder::LoadingHold outer(&b.recorder);
        {
            const Recorder::LoadingHold inner(&b.recorder);
            const Recorder::LoadingHold none(nullptr);
            b.feed(QStringLiteral("2.0"));
        }
        QVERIFY(b.recorder.loading());
        b.feed(QStringLiteral("3.0"));
    }
    QVERIFY(!b.recorder.loading());
    QCOMPARE(b.numbers(), (QList<qint32>{1}));
    QCOMPARE(b.recorder.lastKey(), QStringLiteral("1.0lux"));
    QCOMPARE(b.readingsCharted(), 1);
    QCOMPARE(b.pages.size(), 1);
    b.feed(QStringLiteral("2.0"));
    QCOMPARE(b.numbers(), (QList<qint32>{1, 2}));
    QCOMPARE(b.readingsCharted(), 2);
}

QTEST_GUILESS_MAIN(TestRecorder)
#include "tst_recorder.moc"
