#include "app/gui/tfcomm.h"
#include "base/decimalseparator.h"
#include "decode/framebuilder.h"
#include "display/gui/dialpanel.h"
#include "record/chartcontrol.h"
#include "record/gui/readinggridview.h"
#include "record/gui/trendchartview.h"
#include "record/recorder.h"
#include "support/testhelpers.h"

#include <QAbstractButton>
#include <QAction>
#include <QActionGroup>
#include <QAreaSeries>
#include <QCheckBox>
#include <QGraphicsScene>
#include <QGraphicsTextItem>
#include <QLineEdit>
#include <QLineSeries>
#include <QTest>
#include <QTimer>
#include <QValueAxis>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

using namespace sorrel;
using namespace sorrel::test;

namespace {

void feed(TFCOMM &w, const QString &value, float count, Ind point)
{
    ReadingState &s = w.session().state();
    s.currentValue = value;
    s.currentUnit = QStringLiteral("lux");
    s.lastReading = count;
    for (Ind p : {Ind::LcdP1, Ind::LcdP2, Ind::LcdP3})
        w.session().panel().setShown(p, p == point);
    // The decoder's recording step.
    Q_EMIT w.session().readingJudged();
}

// Ends the process when the main thread stays busy past a deadline: a frozen event loop
// cannot fail a QTRY, so the freeze would otherwise stall the run until CTest's timeout.
class FreezeGuard {
public:
    FreezeGuard(const QString &what, std::chrono::seconds limit)
        : what_(what.toStdString()), thread_([this, limit] { watch(limit); })
    {}
    ~FreezeGuard()
    {
        {
            std::lock_guard lock(mutex_);
            done_ = true;
        }
        wake_.notify_one();
        thread_.join();
    }

private:
    void watch(std::chrono::seconds limit)
    {
        std::unique_lock lock(mutex_);
        if (!wake_.wait_for(lock, limit, [this] { return done_; })) {
            std::fprintf(stderr, "FAIL: %s did not return within %lld s\n", what_.c_str(),
                         static_cast<long long>(limit.count()));
            std::abort();
        }
    }

    std::string what_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool done_ = false;
    std::thread thread_;
};

struct AxisLabel {
    QString text;
    QRectF box; // in the chart's scene
};

// The horizontal axis labels as drawn: the visible texts below the plot area, left to right.
QList<AxisLabel> horizontalLabels(TrendChartView *chart)
{
    const qreal plotBottom = chart->chart()->plotArea().bottom();
    QList<AxisLabel> out;
    for (QGraphicsItem *item : chart->scene()->items()) {
        auto *text = qgraphicsitem_cast<QGraphicsTextItem *>(item);
        if (!text || !text->isVisible() || text->toPlainText().isEmpty())
            continue;
        const QRectF box = text->sceneBoundingRect();
        if (box.top() >= plotBottom)
            out.append({text->toPlainText(), box});
    }
    std::sort(out.begin(), out.end(),
              [](const AxisLabel &a, const AxisLabel &b) { return a.box.left() < b.box.left(); });
    return out;
}

QStringList texts(const QList<AxisLabel> &labels)
{
    QStringList out;
    for (const AxisLabel &l : labels)
        out << l.text;
    return out;
}

// The labels the dynamic ticks should carry: every multiple of the interval in the range.
QStringList expectedTicks(const QValueAxis *x)
{
    QStringList out;
    const qint64 step = qint64(x->tickInterval());
    for (qint64 v = qint64(std::ceil(x->min() / double(step))) * step; v <= x->max(); v += step)
        out << QString::number(v);
    return out;
}

// What is wrong with the horizontal axis labels; empty when the axis shows a label at each
// tick, all inside the chart and none touching the next.
QString labelFault(TrendChartView *chart)
{
    const QList<AxisLabel> labels = horizontalLabels(chart);
    const QStringList shown = texts(labels);
    if (shown.isEmpty() || shown != expectedTicks(chart->horizontalAxis()))
        return QStringLiteral("labels ") + shown.join(u' ') + QStringLiteral(" for ticks ")
               + expectedTicks(chart->horizontalAxis()).join(u' ');
    const QRectF chartBox = chart->chart()->rect();
    for (qsizetype i = 0; i < labels.size(); ++i) {
        if (!chartBox.contains(labels[i].box))
            return labels[i].text + QStringLiteral(" outside the chart");
        if (i > 0 && labels[i - 1].box.right() >= labels[i].box.left())
            return labels[i - 1].text + QStringLiteral(" runs into ") + labels[i].text;
    }
    return {};
}

} // namespace

class TestRecordWindow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void readingReachesGridChartAndPage();
    void secondListenerBesideTheWindow_data();
    void secondListenerBesideTheWindow();
    void limitEntries_data();
    void limitEntries();
    void newFromEachPlace_data();
    void newFromEachPlace();
    void editsTakeDigitsOnly();
    void pageSizeEntry();
    void largePageSizes();
    void widePageKeepsOutline();
    void fillAndEnlarge();
};

void TestRecordWindow::readingReachesGridChartAndPage()
{
    RecordingNotifier notifier;
    TFCOMM w(AppOptions{}, notifier);
    auto *Bt10 = control<QAbstractButton>(w, "Bt10");
    auto *Chtshow = control<TrendChartView>(w, "Chtshow");
    auto *DBGrid1 = control<ReadingGridView>(w, "DBGrid1");
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QCOMPARE(Bt10->text(), QStringLiteral("1"));
    QCOMPARE(Chtshow->valueAxis()->max(), 2000.0);

    // A Tern frame from the bridge: 12.34 lux, through the decoder's recording step.
    w.session().dispatchBridgeFrame(testframes::TernFrame().digits("1234").point(2).bit(73).text());
    const QString sep = w.session().state().decimalSeparator;
    QCOMPARE(w.readings().rowCount(), 1);
    QCOMPARE(w.readings().no(0), 1);
    QCOMPARE(w.readings().value(0), "12" + sep + "34");
    QCOMPARE(w.readings().unit(0), QStringLiteral("lux"));
    QCOMPARE(w.readings().time(0).size(), 6 + 2 * systemTimeSeparator().size());
    QCOMPARE(DBGrid1->currentRow(), 0);
    TrendChartView *chart = Chtshow;
    QCOMPARE(chart->model().pointCount(), 2);
    QCOMPARE(chart->Series1->count(), 2);
    QCOMPARE(chart->Series1->at(1), QPointF(1, double(12.34f)));
    QCOMPARE(chart->valueAxis()->max(), 20.0);
    QCOMPARE(chart->valueAxis()->min(), -20.0);
    QCOMPARE(Bt10->text(), QStringLiteral("1"));

    for (int i = 2; i <= 101; ++i)
        feed(w, QString::number(i) + QStringLiteral(".0"), i * 10, Ind::LcdP3);
    QCOMPARE(Bt10->text(), QStringLiteral("2"));
    QCOMPARE(chart->horizontalAxis()->min(), 101.0);
    QCOMPARE(chart->horizontalAxis()->max(), 200.0);
    // The series hold the window's points only (X 100 and 101), not the run.
    QCOMPARE(chart->Series1->count(), 2);
    QCOMPARE(chart->Series1->at(1), QPointF(101, 101.0));
    QCOMPARE(chart->Series2->upperSeries()->points(), chart->Series1->points());
    QCOMPARE(chart->valueAxis()->max(), 200.0);
    QCOMPARE(DBGrid1->currentRow(), 100);
    QVERIFY(DBGrid1->isRowVisible(100));

    QTest::mouseClick(control<QAbstractButton>(w, "BtFirst"), Qt::LeftButton);
    QCOMPARE(Bt10->text(), QStringLiteral("1"));
    QCOMPARE(chart->horizontalAxis()->min(), 1.0);
    QCOMPARE(chart->Series1->count(), 102); // X 0 .. 100 and the neighbour 101
    QTest::mouseClick(control<QAbstractButton>(w, "BtNext"), Qt::LeftButton);
    QCOMPARE(Bt10->text(), QStringLiteral("2"));
    QTest::mouseClick(control<QAbstractButton>(w, "BTPrevious"), Qt::LeftButton);
    QTest::mouseClick(control<QAbstractButton>(w, "BTlast"), Qt::LeftButton);
    QCOMPARE(Bt10->text(), QStringLiteral("2"));
    QCOMPARE(chart->horizontalAxis()->min(), 101.0);
    QVERIFY(notifier.messages.isEmpty());
}

// Another listener on the session's events (a tool, say) leaves the window's own in
// place, and hears each event after the window has acted on it.
void TestRecordWindow::secondListenerBesideTheWindow_data()
{
    QTest::addColumn<QStringList>("frames");
    QTest::addColumn<int>("readings");
    const QString counted = testframes::TernFrame().digits("1234").point(2).bit(73).text();
    const QString blank = testframes::TernFrame().digits("    ").point(1).bit(74).text();
    QTest::newRow("counted Tern") << QStringList{counted} << 1;
    QTest::newRow("no number") << QStringList{blank} << 0;
    QTest::newRow("two counted, one not") << QStringList{counted, blank, counted} << 2;
}

void TestRecordWindow::secondListenerBesideTheWindow()
{
    QFETCH(QStringList, frames);
    QFETCH(int, readings);
    RecordingNotifier notifier;
    TFCOMM w(AppOptions{}, notifier);
    auto *KD = control<DialPanel>(w, "KD");
    QList<qsizetype> rowsWhenHeard;
    QList<int> dialHeard;
    QObject listener;
    QObject::connect(&w.session(), &MeterSession::readingJudged, &listener,
                     [&] { rowsWhenHeard << w.readings().rowCount(); });
    QObject::connect(&w.session(), &MeterSession::dialMoved, &listener, [&](int position) {
        dialHeard << position;
        QCOMPARE(KD->gauge().lastPosition(), std::optional<int>(position));
    });
    for (const QString &f : frames)
        w.session().dispatchBridgeFrame(f);

    QCOMPARE(w.readings().rowCount(), readings);
    QList<qsizetype> expected;
    for (int i = 1; i <= readings; ++i)
        expected << i;
    QCOMPARE(rowsWhenHeard, expected);
    QCOMPARE(dialHeard.size(), readings);
}

void TestRecordWindow::limitEntries_data()
{
    QTest::addColumn<int>("entry");
    for (int i = 0; i < int(kRecordLimits.size()); ++i)
        QTest::newRow(kRecordLimits[size_t(i)].name) << i;
}

void TestRecordWindow::limitEntries()
{
    QFETCH(int, entry);
    RecordingNotifier notifier;
    TFCOMM w(AppOptions{}, notifier);
    auto *N100001 = control<QAction>(w, "N100001");
    QAction *const actions[] = {
        control<QAction>(w, "N10001"),  control<QAction>(w, "N50001"),   N100001,
        control<QAction>(w, "N500001"), control<QAction>(w, "N1000001"), control<QAction>(w, "limitess")};
    QCOMPARE(w.recorder()->recordLimit(), 10000);
    QVERIFY(N100001->isChecked());
    actions[entry]->trigger();
    QCOMPARE(w.recorder()->recordLimit(), kRecordLimits[size_t(entry)].limit);
    for (int i = 0; i < 6; ++i)
        QCOMPARE(actions[i]->isChecked(), i == entry);
    QCOMPARE(actions[entry]->text(), QString::fromLatin1(kRecordLimits[size_t(entry)].caption));
}

void TestRecordWindow::newFromEachPlace_data()
{
    QTest::addColumn<QString>("place");
    QTest::newRow("RecordNew") << "RecordNew";
    QTest::newRow("BtNew") << "BtNew";
    QTest::newRow("New1") << "New1";
}

void TestRecordWindow::newFromEachPlace()
{
    QFETCH(QString, place);
    RecordingNotifier notifier;
    TFCOMM w(AppOptions{}, notifier);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    feed(w, QStringLiteral("1.0"), 10, Ind::LcdP3);
    feed(w, QStringLiteral("2.0"), 20, Ind::LcdP3);
    if (place == u"New1")
        control<QAction>(w, "New1")->trigger();
    else
        QTest::mouseClick(control<QAbstractButton>(w, qPrintable(place)), Qt::LeftButton);
    QCOMPARE(notifier.texts(), QStringList{QStringLiteral(" Record deleted ")});
    QCOMPARE(notifier.messages.first().kind, MessageKind::Information);
    QVERIFY(w.readings().isEmpty());
    QCOMPARE(control<ReadingGridView>(w, "DBGrid1")->currentRow(), -1);
    QCOMPARE(control<TrendChartView>(w, "Chtshow")->model().pointCount(), 3); // the chart keeps its points
    feed(w, QStringLiteral("3.0"), 30, Ind::LcdP3);
    QCOMPARE(w.readings().no(0), 1);
}

void TestRecordWindow::editsTakeDigitsOnly()
{
    RecordingNotifier notifier;
    TFCOMM w(AppOptions{}, notifier);
    auto *Trecord = control<QTimer>(w, "Trecord");
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QCOMPARE(w.recorder()->countdown(), 0); // the start text "1" sets no wait
    for (QLineEdit *edit : {control<QLineEdit>(w, "RecordSITime"), control<QLineEdit>(w, "Maxrecord")}) {
        edit->setFocus();
        edit->selectAll();
        QTest::keyClicks(edit, QStringLiteral("1a2 -+.3"));
        QCOMPARE(edit->text(), QStringLiteral("123"));
        QTest::keyClick(edit, Qt::Key_Backspace);
        QCOMPARE(edit->text(), QStringLiteral("12"));
    }
    // Each change of the interval text reloads the countdown.
    QCOMPARE(w.recorder()->countdown(), 12);
    QTest::mouseClick(control<QCheckBox>(w, "RecordSI"), Qt::LeftButton);
    QVERIFY(w.recorder()->samplingInterval());
    QTest::mouseClick(control<QCheckBox>(w, "RepeatSet"), Qt::LeftButton);
    QVERIFY(!w.recorder()->repeat());
    QVERIFY(Trecord->isActive());
    QCOMPARE(Trecord->interval(), 1000);
}

void TestRecordWindow::pageSizeEntry()
{
    RecordingNotifier notifier;
    TFCOMM w(AppOptions{}, notifier);
    auto *Timer2 = control<QTimer>(w, "Timer2");
    auto *Maxrecord = control<QLineEdit>(w, "Maxrecord");
    auto *Bt10 = control<QAbstractButton>(w, "Bt10");
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    for (int i = 1; i <= 120; ++i)
        feed(w, QString::number(i), i, Ind::LcdP1);
    QVERIFY(!Timer2->isActive());

    Maxrecord->setFocus();
    Maxrecord->selectAll();
    QTest::keyClicks(Maxrecord, QStringLiteral("50"));
    QVERIFY(Timer2->isActive());
    QCOMPARE(w.chartControl()->pageSize(), 100); // not before a second has passed
    QTRY_COMPARE_WITH_TIMEOUT(w.chartControl()->pageSize(), 50, 3000);
    QVERIFY(!Timer2->isActive());
    QValueAxis *x = control<TrendChartView>(w, "Chtshow")->horizontalAxis();
    QCOMPARE(x->max() - x->min(), 49.0);
    QCOMPARE(Bt10->text(), QString::number(w.chartControl()->pageCount()));
    QCOMPARE(Bt10->text(), QStringLiteral("3"));

    // Cleared, or a size of 0: back to "100", selected.
    for (const QString &typed : {QString(), QStringLiteral("0")}) {
        Maxrecord->selectAll();
        QTest::keyClick(Maxrecord, Qt::Key_Backspace);
        QTest::keyClicks(Maxrecord, typed);
        QTRY_COMPARE_WITH_TIMEOUT(Maxrecord->text(), QStringLiteral("100"), 3000);
        QCOMPARE(Maxrecord->selectedText(), QStringLiteral("100"));
        QCOMPARE(w.chartControl()->pageSize(), 100);
        QVERIFY(!Timer2->isActive());
        w.chartControl()->SetPageSize(50);
    }
}

// Every size from 1 to the largest int applies and leaves a readable axis, each after the
// one before (a stale tick interval over a new range once built range/20 tick marks).
// Every size from 1 to the largest int applies and leaves a readable axis, each after the
// one before (a stale tick interval over a new range once built range/20 tick marks).
void TestRecordWindow::largePageSizes()
{
    RecordingNotifier notifier;
    TFCOMM w(AppOptions{}, notifier);
    auto *Maxrecord = control<QLineEdit>(w, "Maxrecord");
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    for (int i = 1; i <= 30; ++i)
        feed(w, QString::number(i), i, Ind::LcdP1);
    TrendChartView *chart = control<TrendChartView>(w, "Chtshow");
    QValueAxis *x = chart->horizontalAxis();
    const auto apply = [&](int size) {
        const QString typed = QString::number(size);
        const FreezeGuard guard(QStringLiteral("page size ") + typed, std::chrono::seconds(60));
        Maxrecord->setFocus();
        Maxrecord->selectAll();
        QTest::keyClicks(Maxrecord, typed);
        QTRY_COMPARE_WITH_TIMEOUT(w.chartControl()->pageSize(), size, 5000);
        QCOMPARE(Maxrecord->text(), typed);
    };
    for (int size : {1, 100, 100000, 1000000, std::numeric_limits<int>::max()}) {
        apply(size);
        if (QTest::currentTestFailed())
            return;
        // 31 points (the placeholder and 30 readings) fill one page of any size but 1.
        QCOMPARE(control<QAbstractButton>(w, "Bt10")->text(),
                 size == 1 ? QStringLiteral("31") : QStringLiteral("1"));
        // A page of one point is drawn half a point either side of it.
        QCOMPARE(x->min(), size == 1 ? 29.5 : 1);
        QCOMPARE(x->max(), size == 1 ? 30.5 : size);
        const double ticks = std::floor((x->max() - x->min()) / x->tickInterval()) + 1;
        QVERIFY2(ticks >= 1 && ticks <= 12, qPrintable(QStringLiteral("%1 ticks").arg(ticks)));
        QTRY_COMPARE(labelFault(chart), QString());
    }
    // Labels chosen for the enlarged chart must still fit once it is restored.
    QTest::mouseClick(control<QAbstractButton>(w, "TbFd"), Qt::LeftButton);
    apply(1000000);
    apply(std::numeric_limits<int>::max());
    QTRY_COMPARE(labelFault(chart), QString());
    QTest::mouseClick(control<QAbstractButton>(w, "TbSx"), Qt::LeftButton);
    QTRY_COMPARE(labelFault(chart), QString());
    QVERIFY(notifier.messages.isEmpty());
}

// A page of more points than the plot has pixel columns hands the series at most two a
// column, and those keep the curve's ends, its lowest and its highest points.
void TestRecordWindow::widePageKeepsOutline()
{
    RecordingNotifier notifier;
    TFCOMM w(AppOptions{}, notifier);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    TrendChartView *chart = control<TrendChartView>(w, "Chtshow");
    // A saw with one low and one high tooth somewhere in the middle.
    for (int i = 1; i < 20000; ++i)
        w.chartControl()->AddPoint(i == 7777 ? -50 : i == 12345 ? 3000 : i % 97);
    w.chartControl()->SetPageSize(20000);
    const QList<QPointF> shown = chart->Series1->points();
    QCOMPARE(chart->Series2->upperSeries()->points(), shown);
    const qreal columns = chart->chart()->plotArea().width();
    QVERIFY2(shown.size() <= 2 * columns + 2, qPrintable(QStringLiteral("%1 points").arg(shown.size())));
    QVERIFY(shown.size() > columns);
    QCOMPARE(shown.constFirst(), QPointF(0, 0));
    QCOMPARE(shown.constLast(), QPointF(19999, 19999 % 97));
    QVERIFY(shown.contains(QPointF(7777, -50)));
    QVERIFY(shown.contains(QPointF(12345, 3000)));
    QVERIFY(std::is_sorted(shown.begin(), shown.end(),
                           [](const QPointF &a, const QPointF &b) { return a.x() < b.x(); }));
    // The saw's own lowest and highest stay too.
    qreal low = 1e9, high = -1e9;
    for (const QPointF &p : shown)
        if (p.x() != 7777 && p.x() != 12345) {
            low = std::min(low, p.y());
            high = std::max(high, p.y());
        }
    QCOMPARE(std::make_pair(low, high), std::make_pair(qreal(0), qreal(96)));
}

void TestRecordWindow::fillAndEnlarge()
{
    RecordingNotifier notifier;
    TFCOMM w(AppOptions{}, notifier);
    auto *Chtshow = control<TrendChartView>(w, "Chtshow");
    auto *BtFill = control<QCheckBox>(w, "BtFill");
    auto *TbFd = control<QAbstractButton>(w, "TbFd");
    auto *TbSx = control<QAbstractButton>(w, "TbSx");
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    TrendChartView *chart = Chtshow;
    QVERIFY(chart->Series2->isVisible());
    QTest::mouseClick(BtFill, Qt::LeftButton);
    QVERIFY(!chart->Series2->isVisible());
    QVERIFY(chart->Series1->isVisible());
    QTest::mouseClick(BtFill, Qt::LeftButton);
    QVERIFY(chart->Series2->isVisible());

    const QRect normal(400, 152, 321, 394);
    QCOMPARE(Chtshow->geometry(), normal);
    QVERIFY(TbFd->isVisible() && !TbSx->isVisible());
    QTest::mouseClick(TbFd, Qt::LeftButton);
    const QRect outer = w.frameGeometry();
    QCOMPARE(Chtshow->geometry(), QRect(2, 28, outer.width() - 12, outer.height() - 85));
    QVERIFY(!TbFd->isVisible() && TbSx->isVisible());
    QTest::mouseClick(TbSx, Qt::LeftButton);
    QCOMPARE(Chtshow->geometry(), normal);
    QVERIFY(TbFd->isVisible() && !TbSx->isVisible());
}

QTEST_MAIN(TestRecordWindow)
#include "tst_recordwindow.moc"
