#include "record/chartcontrol.h"
#include "record/trendchartmodel.h"

#include <QRandomGenerator>
#include <QTest>

using namespace sorrel;

namespace {

// Counts what the controller asks of the chart.
struct FakeChart : TrendChartSurface {
    qint64 points = 0;
    double hMin = 0, hMax = 0;
    QList<double> maxima, minima;
    QList<bool> areaShown;
    void addPoint(double) override { ++points; }
    qint64 pointCount() const override { return points; }
    void setHorizontalRange(double minimum, double maximum) override
    {
        hMin = minimum;
        hMax = maximum;
    }
    void setValueMaximum(double m) override { maxima.append(m); }
    void setValueMinimum(double m) override { minima.append(m); }
    void setAreaShown(bool s) override { areaShown.append(s); }
};

// The paging rules step by step, one scroll at a time, as a second opinion on the
// controller's counted scrolls.
struct ReferencePager {
    qint64 count = 0;
    qint64 wMin = 1, wMax;
    qint64 p;
    qint64 page = 1, pages = 1;
    bool browsing = false;

    explicit ReferencePager(int size) : wMax(size), p(size) { count = 1; }
    void scroll(qint64 d, qint64 times)
    {
        for (qint64 i = 0; i < times; ++i) {
            if ((d > 0 && count - 1 > wMax) || (d < 0 && 0 < wMin)) {
                wMin += d;
                wMax += d;
            }
        }
    }
    void recount() { pages = (count + p - 1) / p; }
    void add()
    {
        ++count;
        recount();
        if (!browsing) {
            scroll(p, 1);
            page = pages;
        }
    }
    void first()
    {
        if (pages < 2 || page == 1)
            return;
        scroll(-p, page - 1);
        page = 1;
        browsing = true;
    }
    void last()
    {
        if (pages < 2 || page == pages)
            return;
        scroll(p, pages - page);
        page = pages;
        browsing = false;
    }
    void next()
    {
        if (pages < 2 || page == pages)
            return;
        scroll(p, 1);
        ++page;
        browsing = page != pages;
    }
    void previous()
    {
        if (page < 2)
            return;
        scroll(-p, 1);
        --page;
        browsing = true;
    }
    void setSize(qint64 n)
    {
        if (n < 1 || n == p)
            return;
        p = n;
        wMin = 1;
        wMax = n;
        recount();
        scroll(n, pages - 1);
        page = pages;
        browsing = false;
    }
};

struct Paged {
    TrendChartModel chart;
    TChartControl control;
    explicit Paged(int size = 100) : control(chart, size) {}
    void feed(int n)
    {
        for (int i = 0; i < n; ++i)
            control.AddPoint(i % 50);
    }
    QString view() const
    {
        return QStringLiteral("%1..%2 page %3%4")
            .arg(control.windowMinimum())
            .arg(control.windowMaximum())
            .arg(control.currentPage())
            .arg(control.browsing() ? QStringLiteral(" browsing") : QString());
    }
};

} // namespace

class TestChartControl : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void create();
    void workedExample();
    void browsing_data();
    void browsing();
    void matchesStepByStepRules();
    void pageSize();
    void valueRangeAndFill();
    void visibleSpan_data();
    void visibleSpan();
};

void TestChartControl::create()
{
    FakeChart fake;
    TChartControl c(fake, 100);
    QCOMPARE(fake.points, 1); // the placeholder
    QCOMPARE(std::make_pair(fake.hMin, fake.hMax), std::make_pair(1.0, 100.0));
    QCOMPARE(c.currentPage(), 1);
    QCOMPARE(c.pageCount(), 1);
    QVERIFY(!c.browsing());
    QVERIFY(c.fill());

    FakeChart other;
    TChartControl c50(other, 50);
    QCOMPARE(std::make_pair(other.hMin, other.hMax), std::make_pair(1.0, 50.0));
    QCOMPARE(c50.currentPage(), 1);
    QCOMPARE(c50.pageSize(), 50);
}

void TestChartControl::workedExample()
{
    Paged p;
    for (int k = 1; k <= 1001; ++k) {
        p.control.AddPoint(k);
        // The window moves on at readings 101, 201, ...; the page number one reading earlier.
        const qint64 expectedMin = 1 + 100 * ((k - 1) / 100);
        const int expectedPage = k / 100 + 1;
        QCOMPARE(p.control.windowMinimum(), expectedMin);
        QCOMPARE(p.control.windowMaximum(), expectedMin + 99);
        QCOMPARE(p.control.currentPage(), expectedPage);
        QCOMPARE(p.chart.horizontalMinimum(), double(expectedMin));
        QCOMPARE(p.chart.point(k), double(k));
    }
}

void TestChartControl::browsing_data()
{
    QTest::addColumn<int>("readings");
    QTest::addColumn<QString>("steps"); // F first, P previous, N next, L last, +n readings
    QTest::addColumn<QStringList>("views");

    QTest::newRow("150 readings: back, first, next")
        << 150 << "P F N" << QStringList{"1..100 page 1 browsing", "1..100 page 1 browsing", "101..200 page 2"};
    QTest::newRow("exactly 100: the placeholder's page")
        << 100 << "P N" << QStringList{"-99..0 page 1 browsing", "1..100 page 2"};
    QTest::newRow("page 1 of 3 holds still while readings come")
        << 250 << "F +100 L" << QStringList{"1..100 page 1 browsing", "1..100 page 1 browsing", "301..400 page 4"};
    QTest::newRow("next short of the last page keeps browsing")
        << 350 << "F N N N"
        << QStringList{"1..100 page 1 browsing", "101..200 page 2 browsing", "201..300 page 3 browsing",
                       "301..400 page 4"};
    QTest::newRow("nothing to page on a single page")
        << 50 << "F P N L" << QStringList{"1..100 page 1", "1..100 page 1", "1..100 page 1", "1..100 page 1"};
    QTest::newRow("previous stops at page 1")
        << 150 << "P P" << QStringList{"1..100 page 1 browsing", "1..100 page 1 browsing"};
    QTest::newRow("last from page 1 of 5")
        << 450 << "F L" << QStringList{"1..100 page 1 browsing", "401..500 page 5"};
}

void TestChartControl::browsing()
{
    QFETCH(int, readings);
    QFETCH(QString, steps);
    QFETCH(QStringList, views);
    Paged p;
    p.feed(readings);
    QStringList seen;
    for (const QString &s : steps.split(u' ')) {
        if (s == u"F")
            p.control.FirstPage();
        else if (s == u"P")
            p.control.PreviousPage();
        else if (s == u"N")
            p.control.NextPage();
        else if (s == u"L")
            p.control.LastPage();
        else
            p.feed(s.mid(1).toInt());
        seen << p.view();
    }
    QCOMPARE(seen, views);
}

void TestChartControl::matchesStepByStepRules()
{
    auto *rng = QRandomGenerator::global();
    for (int run = 0; run < 200; ++run) {
        const int size = int(rng->bounded(1, 40));
        Paged p(size);
        ReferencePager ref(size);
        for (int op = 0; op < 300; ++op) {
            const int kind = int(rng->bounded(10));
            QString what;
            if (kind < 5) {
                p.control.AddPoint(0);
                ref.add();
                what = "add";
            } else if (kind == 5) {
                p.control.FirstPage();
                ref.first();
                what = "first";
            } else if (kind == 6) {
                p.control.LastPage();
                ref.last();
                what = "last";
            } else if (kind == 7) {
                p.control.NextPage();
                ref.next();
                what = "next";
            } else if (kind == 8) {
                p.control.PreviousPage();
                ref.previous();
                what = "previous";
            } else {
                const int n = int(rng->bounded(-1, 40));
                p.control.SetPageSize(n);
                ref.setSize(n);
                what = QStringLiteral("size %1").arg(n);
            }
            const QString expected = QStringLiteral("%1..%2 page %3%4")
                                         .arg(ref.wMin)
                                         .arg(ref.wMax)
                                         .arg(ref.page)
                                         .arg(ref.browsing ? QStringLiteral(" browsing") : QString());
            if (p.view() != expected || p.control.pageCount() != ref.pages)
                QFAIL(qPrintable(QStringLiteral("run %1 op %2 (%3): %4 / %5 pages, expected %6 / %7 pages")
                                     .arg(run)
                                     .arg(op)
                                     .arg(what, p.view())
                                     .arg(p.control.pageCount())
                                     .arg(expected)
                                     .arg(ref.pages)));
        }
    }
}

void TestChartControl::pageSize()
{
    Paged p;
    p.feed(250);
    p.control.FirstPage();
    p.control.SetPageSize(50);
    // Jumps to the newest page, 50 wide: 251 points make 6 pages; as with readings, the
    // window shows X 250 on page 6 only once a point lies beyond it.
    QCOMPARE(p.view(), QStringLiteral("201..250 page 6"));
    QCOMPARE(p.control.pageCount(), 6);

    p.control.PreviousPage();
    p.control.SetPageSize(50); // the same size: nothing, not even leaving browsing
    QCOMPARE(p.view(), QStringLiteral("151..200 page 5 browsing"));

    for (int bad : {0, -1})
        p.control.SetPageSize(bad);
    QCOMPARE(p.control.pageSize(), 50);
    QCOMPARE(p.view(), QStringLiteral("151..200 page 5 browsing"));

    p.control.SetPageSize(1000);
    QCOMPARE(p.view(), QStringLiteral("1..1000 page 1"));
}

void TestChartControl::valueRangeAndFill()
{
    FakeChart fake;
    TChartControl c(fake, 100);
    c.SetValueMax(0); // equal to the last value set (none yet: 0)
    c.SetValueMin(0);
    QVERIFY(fake.maxima.isEmpty() && fake.minima.isEmpty());
    c.SetValueMax(20);
    c.SetValueMin(-20);
    c.SetValueMax(20);
    c.SetValueMin(-20);
    c.SetValueMax(200);
    QCOMPARE(fake.maxima, (QList<double>{20, 200}));
    QCOMPARE(fake.minima, (QList<double>{-20}));

    QCOMPARE(fake.areaShown, QList<bool>{true});
    c.SetFill(true);
    c.SetFill(false);
    c.SetFill(false);
    c.SetFill(true);
    QCOMPARE(fake.areaShown, (QList<bool>{true, false, true}));
}

void TestChartControl::visibleSpan_data()
{
    QTest::addColumn<int>("points");
    QTest::addColumn<double>("min");
    QTest::addColumn<double>("max");
    QTest::addColumn<qint64>("first");
    QTest::addColumn<qint64>("last");
    QTest::newRow("start: placeholder and one reading") << 2 << 1.0 << 100.0 << qint64(0) << qint64(1);
    QTest::newRow("full page and neighbours") << 500 << 101.0 << 200.0 << qint64(100) << qint64(201);
    QTest::newRow("newest page partly filled") << 150 << 101.0 << 200.0 << qint64(100) << qint64(149);
    QTest::newRow("placeholder page") << 101 << -99.0 << 0.0 << qint64(0) << qint64(1);
    QTest::newRow("window past the points") << 50 << 101.0 << 200.0 << qint64(0) << qint64(-1);
    QTest::newRow("no points") << 0 << 1.0 << 100.0 << qint64(0) << qint64(-1);
}

void TestChartControl::visibleSpan()
{
    QFETCH(int, points);
    QFETCH(double, min);
    QFETCH(double, max);
    QFETCH(qint64, first);
    QFETCH(qint64, last);
    TrendChartModel m;
    for (int i = 0; i < points; ++i)
        m.addPoint(i);
    m.setHorizontalRange(min, max);
    const TrendChartModel::Span s = m.visibleSpan();
    if (last < first)
        QVERIFY(s.first > s.last);
    else
        QCOMPARE(std::make_pair(s.first, s.last), std::make_pair(first, last));
}

QTEST_GUILESS_MAIN(TestChartControl)
#include "tst_chartcontrol.moc"
