#include "display/lcdpanelpainter.h"
#include "display/sevensegment.h"

#include <QImage>
#include <QPainter>
#include <QTest>

using namespace sorrel;

namespace {

QImage render(const LcdPanelState &state, const LcdPanelColours &colours = {})
{
    QImage img(kLcdPanelSize, QImage::Format_RGB32);
    img.fill(Qt::magenta); // anything the painter leaves would show
    QPainter p(&img);
    paintLcdPanel(p, state, colours);
    return img;
}

bool isDark(QRgb c)
{
    return qGray(c) < 100;
}

// The pixels that differ between two renders, as a bounding rect.
QRect changedArea(const QImage &a, const QImage &b)
{
    QRect area;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y))
                area |= QRect(x, y, 1, 1);
    return area;
}

const Ind kMainDigits[] = {Ind::LcdDa, Ind::LcdDb, Ind::LcdDc, Ind::LcdDd};

} // namespace

class TestLcdPanelPainter : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void background();
    void mainDigits_data();
    void mainDigits();
    void decimalPoints_data();
    void decimalPoints();
    void annunciatorPlaces_data();
    void annunciatorPlaces();
    void parkedNeverPainted();
    void windowTextWords_data();
    void windowTextWords();
    void bar_data();
    void bar();
};

void TestLcdPanelPainter::background()
{
    const QImage img = render(LcdPanelState());
    QCOMPARE(img.size(), QSize(398, 217));
    // Cream inside the bevels; a raised outer ring (light top, dark bottom) over a lowered inner one.
    QCOMPARE(QColor(img.pixel(200, 190)), QColor(255, 251, 240));
    QCOMPARE(QColor(img.pixel(5, 100)), QColor(255, 251, 240));
    QCOMPARE(QColor(img.pixel(100, 0)), QColor(Qt::white));
    QCOMPARE(QColor(img.pixel(100, 1)), QColor(128, 128, 128));
    QCOMPARE(QColor(img.pixel(0, 100)), QColor(Qt::white));
    QCOMPARE(QColor(img.pixel(397, 100)), QColor(128, 128, 128));
    QCOMPARE(QColor(img.pixel(396, 100)), QColor(Qt::white));
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            QVERIFY(img.pixel(x, y) != QColor(Qt::magenta).rgb());
}

void TestLcdPanelPainter::mainDigits_data()
{
    QTest::addColumn<QString>("digits"); // four glyphs, '_' for a blank digit
    QTest::newRow("idle Osprey") << "2000";
    QTest::newRow("idle Merlin") << "3000";
    QTest::newRow("overload") << "_@__";
    QTest::newRow("every segment") << "8888";
    QTest::newRow("rook letters") << "usb_";
    QTest::newRow("odd ones") << "1479";
}

// Each digit lights exactly its glyph's segments in its own place, and leaves the
// rest of its box cream.
void TestLcdPanelPainter::mainDigits()
{
    QFETCH(QString, digits);
    LcdPanelState state;
    for (int i = 0; i < 4; ++i)
        state.setText(kMainDigits[i], digits[i] == u'_' ? QString() : QString(digits[i]));
    const QImage img = render(state);
    const SevenSegmentStyle style;
    for (int i = 0; i < 4; ++i) {
        const QRect cell = lcdMainGlyphCell(kMainDigits[i]);
        QVERIFY(lcdIndicatorRect(kMainDigits[i]).contains(cell));
        QCOMPARE(cell.height(), 107);
        const SegmentMask lit = *glyphSegments(state.text(kMainDigits[i]));
        QPainterPath inked;
        for (int s = 0; s < kSegmentCount; ++s) {
            const SegmentMask seg = SegmentMask(1u << s);
            const QPainterPath shape = sevenSegmentPath(cell, seg, style);
            QVERIFY2(isDark(img.pixel(shape.boundingRect().center().toPoint())) == bool(lit & seg),
                     qPrintable(QStringLiteral("digit %1 segment %2").arg(i + 1).arg(QChar('a' + s))));
            if (lit & seg)
                inked.addPath(shape);
        }
        // No ink in the box outside the lit segments (with a pixel of anti-aliasing).
        const QRect box = lcdIndicatorRect(kMainDigits[i]).intersected(QRect(4, 4, 390, 190));
        int stray = 0;
        for (int y = box.top(); y <= box.bottom(); y += 2)
            for (int x = box.left(); x <= box.right(); x += 2)
                if (isDark(img.pixel(x, y)) && !inked.intersects(QRectF(x - 1.5, y - 1.5, 3, 3)))
                    ++stray;
        QCOMPARE(stray, 0);
    }
}

void TestLcdPanelPainter::decimalPoints_data()
{
    QTest::addColumn<int>("which");
    QTest::addColumn<QRect>("dot");
    QTest::newRow("LcdP1") << int(Ind::LcdP1) << QRect(89, 129, 7, 8);
    QTest::newRow("LcdP2 is a row shorter") << int(Ind::LcdP2) << QRect(176, 129, 7, 7);
    QTest::newRow("LcdP3") << int(Ind::LcdP3) << QRect(260, 129, 7, 8);
}

void TestLcdPanelPainter::decimalPoints()
{
    QFETCH(int, which);
    QFETCH(QRect, dot);
    const Ind id = Ind(which);
    LcdPanelState state;
    const QImage dark = render(state);
    state.show(id);
    const QImage lit = render(state);
    QCOMPARE(changedArea(dark, lit), dot);
    for (int y = dot.top(); y <= dot.bottom(); ++y)
        for (int x = dot.left(); x <= dot.right(); ++x)
            QCOMPARE(QColor(lit.pixel(x, y)), QColor(Qt::black));
}

void TestLcdPanelPainter::annunciatorPlaces_data()
{
    QTest::addColumn<int>("which");
    QTest::addColumn<QRect>("within"); // the place the indicator may ink
    const struct {
        Ind id;
        QRect place;
    } rows[] = {
        {Ind::LCDHold, {8, 0, 30, 30}}, {Ind::p_off, {32, 0, 33, 33}},     {Ind::MAX, {70, 10, 40, 18}},
        {Ind::MIN, {110, 10, 40, 18}},  {Ind::REL, {152, 10, 40, 18}},     {Ind::perecent, {192, 8, 33, 17}},
        {Ind::auto_, {240, 8, 44, 18}}, {Ind::Z, {312, 6, 16, 24}},        {Ind::o1, {328, 8, 16, 22}},
        {Ind::o2, {344, 8, 16, 22}},    {Ind::o3, {360, 8, 16, 22}},       {Ind::o4, {376, 8, 16, 22}},
        {Ind::FC, {352, 48, 41, 17}},   {Ind::LUX, {352, 72, 49, 25}},     {Ind::X10, {350, 94, 44, 18}},
        {Ind::CD, {352, 120, 33, 17}},  {Ind::usb1, {6, 171, 40, 18}},     {Ind::power, {48, 162, 32, 29}},
        {Ind::FULL, {80, 166, 41, 21}}, {Ind::loadNO, {118, 167, 88, 18}}, {Ind::REC, {208, 167, 33, 23}},
        {Ind::z4, {256, 168, 25, 17}},  {Ind::z3, {280, 168, 25, 17}},     {Ind::z2, {304, 168, 25, 17}},
        {Ind::z11, {336, 168, 25, 17}}, {Ind::t_p, {360, 160, 25, 33}},
    };
    for (const auto &r : rows)
        QTest::newRow(indicatorName(r.id)) << int(r.id) << r.place;
}

// Lighting an annunciator inks its own place and nothing else; dark, it leaves no trace.
void TestLcdPanelPainter::annunciatorPlaces()
{
    QFETCH(int, which);
    QFETCH(QRect, within);
    const Ind id = Ind(which);
    LcdPanelState state;
    const QImage dark = render(state);
    state.show(id);
    const QImage lit = render(state);
    const QRect changed = changedArea(dark, lit);
    QVERIFY2(!changed.isEmpty(), "nothing drawn");
    QVERIFY2(within.contains(changed), qPrintable(QStringLiteral("drawn at %1,%2 %3x%4")
                                                      .arg(changed.x())
                                                      .arg(changed.y())
                                                      .arg(changed.width())
                                                      .arg(changed.height())));
    state.hide(id);
    QCOMPARE(render(state), dark);
}

// Parked indicators are states only: lit or not, the panel looks the same.
void TestLcdPanelPainter::parkedNeverPainted()
{
    LcdPanelState state;
    const QImage before = render(state);
    for (int i = 0; i < kIndicatorCount; ++i)
        if (indicatorInfo(Ind(i)).parked)
            state.show(Ind(i));
    state.setText(Ind::LcdDa2, QStringLiteral("8"));
    state.setText(Ind::LcdFH, QStringLiteral("-"));
    QCOMPARE(render(state), before);
    QVERIFY(lcdIndicatorRect(Ind::LcdDb2).isEmpty());
    QVERIFY(lcdIndicatorRect(Ind::Z1).isEmpty());
}

void TestLcdPanelPainter::windowTextWords_data()
{
    QTest::addColumn<int>("which");
    QTest::addColumn<bool>("windowText");
    QTest::newRow("REL") << int(Ind::REL) << true;
    QTest::newRow("auto") << int(Ind::auto_) << true;
    QTest::newRow("Z") << int(Ind::Z) << true;
    QTest::newRow("o3") << int(Ind::o3) << true;
    QTest::newRow("MAX") << int(Ind::MAX) << false;
    QTest::newRow("usb1") << int(Ind::usb1) << false;
    QTest::newRow("LUX") << int(Ind::LUX) << false;
}

void TestLcdPanelPainter::windowTextWords()
{
    QFETCH(int, which);
    QFETCH(bool, windowText);
    LcdPanelColours colours;
    colours.windowText = QColor(0, 0, 255);
    LcdPanelState state;
    state.show(Ind(which));
    const QImage img = render(state, colours);
    const QRect place = lcdIndicatorRect(Ind(which)).intersected(QRect(QPoint(0, 0), kLcdPanelSize));
    int blue = 0, black = 0;
    for (int y = place.top(); y <= place.bottom(); ++y)
        for (int x = place.left(); x <= place.right(); ++x) {
            const QColor c(img.pixel(x, y));
            blue += c == QColor(0, 0, 255);
            black += c == QColor(Qt::black);
        }
    QVERIFY(windowText ? blue > 0 && black == 0 : black > 0 && blue == 0);
}

void TestLcdPanelPainter::bar_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("filled"); // of the 396 pixels inside the bar's frame
    QTest::newRow("start") << 30 << 6;
    QTest::newRow("half") << 1000 << 198;
    QTest::newRow("full") << 2000 << 396;
    QTest::newRow("above the range") << 9999 << 396;
    QTest::newRow("below the range") << -40 << 0;
}

void TestLcdPanelPainter::bar()
{
    QFETCH(int, position);
    QFETCH(int, filled);
    LcdPanelColours colours;
    colours.barChunk = QColor(0, 0, 128);
    LcdPanelState state;
    state.setBar(position);
    QCOMPARE(state.bar(), position); // kept as set
    const QImage img = render(state, colours);
    QCOMPARE(lcdIndicatorRect(Ind::PBar2), QRect(0, 200, 398, 17));
    int chunk = 0;
    for (int x = 0; x < 398; ++x)
        chunk += QColor(img.pixel(x, 208)) == colours.barChunk;
    QCOMPARE(chunk, filled);
    if (filled) {
        QCOMPARE(QColor(img.pixel(1, 208)), colours.barChunk);
        QCOMPARE(QColor(img.pixel(filled, 208)), colours.barChunk);
    }
}

QTEST_MAIN(TestLcdPanelPainter)
#include "tst_lcdpanelpainter.moc"
