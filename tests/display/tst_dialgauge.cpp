#include "display/dialgauge.h"

#include <QTest>
#include <cmath>

using namespace sorrel;

namespace {

const QSize kLayoutPanel(319, 139);
const QSize kLayoutPicture(315, 135); // KD1: the panel inside its bevel

int spanFactorOf(const QString &cls)
{
    return cls == u"2" ? 40 : cls == u"6" ? 120 : cls == u"34" ? 68 : 80;
}

bool isRed(QRgb c)
{
    return qRed(c) > 200 && qGreen(c) < 80 && qBlue(c) < 80;
}

int countPixels(const QImage &img, bool (*pred)(QRgb))
{
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            n += pred(img.pixel(x, y));
    return n;
}

bool redNear(const QImage &img, QPoint p)
{
    for (int dy = -1; dy <= 3; ++dy)
        for (int dx = -1; dx <= 3; ++dx)
            if (img.valid(p + QPoint(dx, dy)) && isRed(img.pixel(p + QPoint(dx, dy))))
                return true;
    return false;
}

} // namespace

class TestDialGauge : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void layoutGeometry();
    void scalePoints_data();
    void scalePoints();
    void figures_data();
    void figures();
    void ticks_data();
    void ticks();
    void tickDotsOnTheFace_data();
    void tickDotsOnTheFace();
    void pointerDrawnAndErased();
    void positionsClamped_data();
    void positionsClamped();
    void tallPanelKeepsADial();
    void tooSmallPanel();
    void enlargeThenRestore();
    void faceDrawnWhenFirstNeeded_data();
    void faceDrawnWhenFirstNeeded();
};

void TestDialGauge::layoutGeometry()
{
    const auto g = DialGeometry::forPanel(kLayoutPanel);
    QVERIFY(g);
    QCOMPARE(g->W, 279.0f);
    QCOMPARE(g->H, 79.0f);
    QVERIFY(std::abs(g->R - 162.67f) < 0.01f);
    QVERIFY2(std::abs(g->theta - 118.10f) < 0.05f, qPrintable(QString::number(g->theta)));
    QVERIFY2(std::abs(g->alpha0 - 30.95f) < 0.05f, qPrintable(QString::number(g->alpha0)));
    QCOMPARE(g->alpha0 * 2 + g->theta, 180.0f);
    QCOMPARE(DialGauge::panelSizeFor(kLayoutPicture), kLayoutPanel);
}

void TestDialGauge::scalePoints_data()
{
    QTest::addColumn<int>("steps");
    QTest::addColumn<double>("step");
    QTest::addColumn<QPoint>("point"); // at radius R
    QTest::newRow("left end") << 40 << 0.0 << QPoint(20, 109);
    QTest::newRow("right end") << 40 << 40.0 << QPoint(299, 109);
    QTest::newRow("top") << 40 << 20.0 << QPoint(160, 30);
    QTest::newRow("left end, fine scale") << 400 << 0.0 << QPoint(20, 109);
    QTest::newRow("right end, fine scale") << 400 << 400.0 << QPoint(299, 109);
}

void TestDialGauge::scalePoints()
{
    QFETCH(int, steps);
    QFETCH(double, step);
    QFETCH(QPoint, point);
    const auto g = DialGeometry::forPanel(kLayoutPanel);
    QCOMPARE(g->pointAt(g->R, step, steps), point);
}

void TestDialGauge::figures_data()
{
    QTest::addColumn<QString>("cls");
    QTest::addColumn<QList<int>>("steps");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QPoint>("lastOffset");
    QTest::newRow("4") << "4" << QList<int>{0, 10, 20, 30, 40, 50, 60, 70, 80}
                       << QStringList{"-40", "-30", "-20", "-10", "0", "10", "20", "30", "40"} << QPoint(12, 7);
    QTest::newRow("2") << "2" << QList<int>{0, 5, 10, 15, 20, 25, 30, 35, 40}
                       << QStringList{"-20", "-15", "-10", "-5", "0", "5", "10", "15", "20"} << QPoint(12, 7);
    QTest::newRow("6: last figure 11 px left")
        << "6" << QList<int>{0, 15, 30, 45, 60, 75, 90, 105, 120}
        << QStringList{"-60", "-45", "-30", "-15", "0", "15", "30", "45", "60"} << QPoint(11, 7);
    QTest::newRow("34: seven figures") << "34" << QList<int>{4, 14, 24, 34, 44, 54, 64}
                                       << QStringList{"-30", "-20", "-10", "0", "10", "20", "30"} << QPoint(10, 6);
    QTest::newRow("unknown class") << "5" << QList<int>{} << QStringList{} << QPoint();
}

void TestDialGauge::figures()
{
    QFETCH(QString, cls);
    QFETCH(QList<int>, steps);
    QFETCH(QStringList, texts);
    QFETCH(QPoint, lastOffset);
    const QList<DialFigure> figures = dialFigures(cls);
    QList<int> gotSteps;
    QStringList gotTexts;
    for (const DialFigure &f : figures)
        gotSteps << f.step, gotTexts << f.text;
    QCOMPARE(gotSteps, steps);
    QCOMPARE(gotTexts, texts);
    if (!figures.isEmpty()) {
        QCOMPARE(figures.back().offset, lastOffset);
        QCOMPARE(figures.front().offset, cls == u"34" ? QPoint(8, 6) : QPoint(5, 7));
    }
}

void TestDialGauge::ticks_data()
{
    QTest::addColumn<QString>("cls");
    QTest::addColumn<QList<int>>("steps");
    QTest::addColumn<QColor>("colour");
    QTest::newRow("34") << "34" << QList<int>{4, 14, 24, 34, 44, 54, 64} << QColor(Qt::red);
    QTest::newRow("6") << "6" << QList<int>{0, 15, 30, 45, 60, 75, 90, 105, 120} << QColor(Qt::red);
    QTest::newRow("4 in white") << "4" << QList<int>{0, 10, 20, 30, 40, 50, 60, 70, 80} << QColor(Qt::white);
    QTest::newRow("2: none") << "2" << QList<int>{} << QColor(Qt::red);
    QTest::newRow("unknown: none") << "" << QList<int>{} << QColor(Qt::red);
}

void TestDialGauge::ticks()
{
    QFETCH(QString, cls);
    QFETCH(QList<int>, steps);
    QFETCH(QColor, colour);
    QCOMPARE(dialTickSteps(cls, spanFactorOf(cls)), steps);
    if (!steps.isEmpty())
        QCOMPARE(dialTickColour(cls), colour);
}

void TestDialGauge::tickDotsOnTheFace_data()
{
    QTest::addColumn<QString>("cls");
    QTest::addColumn<bool>("redShows");
    QTest::newRow("34") << "34" << true;
    QTest::newRow("6") << "6" << true;
    QTest::newRow("4: white on white") << "4" << false;
    QTest::newRow("2") << "2" << false;
}

// The drawn face: red ticks where the class has them (even under the white band of
// dots), none where it has none.
void TestDialGauge::tickDotsOnTheFace()
{
    QFETCH(QString, cls);
    QFETCH(bool, redShows);
    DialGauge gauge(cls, spanFactorOf(cls));
    gauge.KDsetup(kLayoutPicture);
    const QImage &face = gauge.picture();
    QCOMPARE(face.size(), kLayoutPicture);
    QCOMPARE(countPixels(face, isRed) > 0, redShows);
    const auto &g = *gauge.geometry();
    for (int s : dialTickSteps(cls, gauge.spanFactor()))
        QCOMPARE(redNear(face, g.pointAt(g.R + 6, s, gauge.spanFactor())), redShows);
    if (cls == u"34") { // steps 0-3 and 65-68 carry nothing
        for (int s : {0, 3, 65, 68})
            QVERIFY(!redNear(face, g.pointAt(g.R + 6, s, 68)));
    }
    // Figures are written: ink up and left of the top figure's anchor.
    const QPoint anchor = g.pointAt(g.R + 18, gauge.spanFactor() / 2, gauge.spanFactor());
    int ink = 0;
    for (int y = anchor.y() - 6; y < anchor.y() + 10; ++y)
        for (int x = anchor.x() - 4; x < anchor.x() + 8; ++x)
            ink += qGray(face.pixel(x, y)) < 128;
    QVERIFY(ink > 3);
}

void TestDialGauge::pointerDrawnAndErased()
{
    DialGauge gauge(QStringLiteral("2"), 40);
    QCOMPARE(gauge.pointerMemory(), QLine());
    gauge.KDsetup(kLayoutPicture);
    gauge.KDrun(200); // start-up: the dial zero position, upright
    const QLine upright = gauge.pointerMemory();
    QCOMPARE(upright.p1(), QPoint(160, 34));
    // Ties round to even: the tip's 139.5 lands on 140, the base's 139.49999 on 139.
    QCOMPARE(upright.p2().x(), 159);
    QCOMPARE(upright.p2().y(), 79 + 280 + 30);
    QCOMPARE(QColor(gauge.picture().pixel(160, 34)), QColor(Qt::black));
    QCOMPARE(QColor(gauge.picture().pixel(160, 120)), QColor(Qt::black));

    gauge.KDrun(400); // right end
    const QLine right = gauge.pointerMemory();
    QCOMPARE(right.p1(), DialGeometry::forPanel(kLayoutPanel)->pointer(400, 400).p1());
    QCOMPARE(right.p1().y(), 109 + 4);
    QCOMPARE(QColor(gauge.picture().pixel(right.p1())), QColor(Qt::black));
    // The old pointer is gone, in the face colour.
    QCOMPARE(QColor(gauge.picture().pixel(160, 34)), QColor(Qt::white));
    QCOMPARE(QColor(gauge.picture().pixel(160, 120)), QColor(Qt::white));
    QCOMPARE(gauge.lastPosition(), std::optional<int>(400));

    // A fresh face forgets the old pointer.
    gauge.KDsetup(kLayoutPicture);
    QCOMPARE(gauge.pointerMemory(), QLine());
    QCOMPARE(QColor(gauge.picture().pixel(right.p1())), QColor(Qt::white));
}

void TestDialGauge::positionsClamped_data()
{
    QTest::addColumn<QString>("cls");
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("drawnAt");
    QTest::newRow("below the left end") << "2" << -105 << 0;
    QTest::newRow("where the line would lie flat") << "2" << 505 << 400;
    QTest::newRow("far above") << "4" << 100000 << 800;
    QTest::newRow("in range") << "34" << 341 << 341;
    QTest::newRow("right end") << "6" << 1200 << 1200;
}

void TestDialGauge::positionsClamped()
{
    QFETCH(QString, cls);
    QFETCH(int, position);
    QFETCH(int, drawnAt);
    DialGauge gauge(cls, spanFactorOf(cls));
    gauge.KDsetup(kLayoutPicture);
    gauge.KDrun(position);
    QCOMPARE(gauge.lastPosition(), std::optional<int>(drawnAt));
    const QLine line = gauge.pointerMemory();
    QCOMPARE(line, gauge.geometry()->pointer(drawnAt, gauge.span()));
    // The pointer leans from its tip on the arc down through the centre.
    QVERIFY(line.p2().y() > line.p1().y());
    QVERIFY(std::abs(line.p2().x()) < 5000);
}

// The enlarged view: a panel nearly as tall as wide still gets an arc of at most
// 120 degrees, so the ends stay above the centre and every position has a pointer.
void TestDialGauge::tallPanelKeepsADial()
{
    const auto g = DialGeometry::forPanel(QSize(671, 346));
    QVERIFY(g);
    QVERIFY(g->theta > 0 && g->theta <= kDialMaxArcDegrees + 0.1f);
    QVERIFY(g->alpha0 > 0);
    QVERIFY(g->R > g->H);
    QCOMPARE(g->pointAt(g->R, 0, 10), QPoint(20, int(std::lround(g->H)) + 30));
    DialGauge gauge(QStringLiteral("2"), 40);
    gauge.KDsetup(QSize(667, 342));
    for (int pos : {0, 200, 400}) {
        gauge.KDrun(pos);
        const QLine line = gauge.pointerMemory();
        QVERIFY(QRect(QPoint(0, 0), gauge.picture().size()).contains(line.p1()));
        QCOMPARE(QColor(gauge.picture().pixel(line.p1())), QColor(Qt::black));
    }
}

void TestDialGauge::tooSmallPanel()
{
    QVERIFY(!DialGeometry::forPanel(QSize(40, 200)));
    QVERIFY(!DialGeometry::forPanel(QSize(300, 60)));
    DialGauge gauge(QStringLiteral("2"), 40);
    gauge.KDsetup(QSize(100, 50));
    gauge.KDrun(200);
    QCOMPARE(gauge.lastPosition(), std::optional<int>(200));
    QCOMPARE(countPixels(gauge.picture(), [](QRgb c) { return c != QColor(Qt::white).rgb(); }), 0);
}

void TestDialGauge::enlargeThenRestore()
{
    DialView view;
    const QRect laidOut(800, 32, 319, 139);
    const QSize window(731, 590);
    QVERIFY(!DialView::isEnlarged(laidOut));

    const DialViewLayout big = view.click(laidOut, window);
    QCOMPARE(big.kd, QRect(2, 28, 719, 510));
    QCOMPARE(big.kd1, QRect(2, 2, 679, 370));
    QVERIFY(!big.kdFdVisible && big.kdSxVisible && !big.chartVisible);
    QVERIFY(DialView::isEnlarged(big.kd));
    QCOMPARE(DialView::magnifierLeft(big.kd.width()), 689);

    const DialViewLayout back = view.click(big.kd, window);
    QCOMPARE(back.kd, laidOut);
    QCOMPARE(back.kd1, QRect(2, 2, 315, 135));
    QVERIFY(back.kdFdVisible && !back.kdSxVisible && back.chartVisible);

    // A second round trip starts from the restored bounds again.
    QCOMPARE(view.click(view.click(back.kd, window).kd, window).kd, laidOut);
}

QTEST_MAIN(TestDialGauge)
// The face's pixels go down when the picture is first read; whatever the order of
// setups, pointer moves and reads, the picture must be the one drawn step by step.
void TestDialGauge::faceDrawnWhenFirstNeeded_data()
{
    QTest::addColumn<QString>("cls");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QList<int>>("steps"); // -1: KDsetup, else KDrun(step)

    QTest::newRow("face only") << QStringLiteral("2") << kLayoutPicture << QList<int>{-1};
    QTest::newRow("one pointer") << QStringLiteral("6") << kLayoutPicture << QList<int>{-1, 600};
    QTest::newRow("pointers over figures")
        << QStringLiteral("2") << kLayoutPicture << QList<int>{-1, 200, 0, 400, 37, 400};
    QTest::newRow("set up again") << QStringLiteral("34") << kLayoutPicture << QList<int>{-1, 50, -1, 300, 120};
    QTest::newRow("enlarged") << QStringLiteral("4") << QSize(600, 330) << QList<int>{-1, 800, 13};
    QTest::newRow("too small") << QStringLiteral("2") << QSize(30, 20) << QList<int>{-1, 5, 9};
}

void TestDialGauge::faceDrawnWhenFirstNeeded()
{
    QFETCH(QString, cls);
    QFETCH(QSize, size);
    QFETCH(QList<int>, steps);
    // eager reads the picture after every step; lazy only at the end. Both change the
    // figure colour right after each setup, which must not reach a face already set up.
    DialGauge eager(cls, spanFactorOf(cls)), lazy(cls, spanFactorOf(cls));
    for (DialGauge *g : {&eager, &lazy})
        g->setFigureColour(Qt::blue);
    for (int step : steps) {
        for (DialGauge *g : {&eager, &lazy}) {
            if (step < 0) {
                g->KDsetup(size);
                if (g == &eager)
                    (void)g->picture();
                g->setFigureColour(Qt::darkGreen);
            } else {
                g->KDrun(step);
                if (g == &eager)
                    (void)g->picture();
            }
        }
    }
    QCOMPARE(lazy.pointerMemory(), eager.pointerMemory());
    QCOMPARE(lazy.lastPosition(), eager.lastPosition());
    const QImage a = eager.picture(), b = lazy.picture();
    QCOMPARE(b.size(), size);
    QCOMPARE(b, a);
    if (steps.count(-1) == 1 && size == kLayoutPicture) // the figures are in the set-up colour
        QVERIFY(countPixels(b, [](QRgb c) { return qBlue(c) > 200 && qRed(c) < 80 && qGreen(c) < 80; }) > 0);
}

#include "tst_dialgauge.moc"
