#include "display/sevensegment.h"

#include <QImage>
#include <QPainter>
#include <QTest>

using namespace sorrel;

namespace {

SegmentMask maskOf(const QString &letters)
{
    SegmentMask m = 0;
    for (QChar c : letters)
        m |= SegmentMask(1u << (c.unicode() - 'a'));
    return m;
}

const QColor kPaper(255, 251, 240);

bool isDark(const QImage &img, QPointF p)
{
    return qGray(img.pixel(p.toPoint())) < 100;
}

} // namespace

class TestSevenSegment : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void glyphs_data();
    void glyphs();
    void notGlyphs_data();
    void notGlyphs();
    void glyphStaysInItsCell_data();
    void glyphStaysInItsCell();
};

void TestSevenSegment::glyphs_data()
{
    QTest::addColumn<QString>("glyph");
    QTest::addColumn<QString>("segments"); // letters a..g that light
    QTest::newRow("0") << "0"
                       << "abcdef";
    QTest::newRow("1") << "1"
                       << "bc";
    QTest::newRow("2") << "2"
                       << "abdeg";
    QTest::newRow("3") << "3"
                       << "abcdg";
    QTest::newRow("4") << "4"
                       << "bcfg";
    QTest::newRow("5") << "5"
                       << "acdfg";
    QTest::newRow("6") << "6"
                       << "acdefg";
    QTest::newRow("7") << "7"
                       << "abc";
    QTest::newRow("8") << "8"
                       << "abcdefg";
    QTest::newRow("9") << "9"
                       << "abcdfg";
    QTest::newRow("@ is the L of an overload") << "@"
                                               << "def";
    QTest::newRow("u") << "u"
                       << "cde";
    QTest::newRow("s") << "s"
                       << "acdfg";
    QTest::newRow("b") << "b"
                       << "cdefg";
    QTest::newRow("blank") << ""
                           << "";
}

// The mapping, and the painter: the middle of every segment is inked exactly when lit.
void TestSevenSegment::glyphs()
{
    QFETCH(QString, glyph);
    QFETCH(QString, segments);
    const SegmentMask expected = maskOf(segments);
    QCOMPARE(glyphSegments(glyph), std::optional<SegmentMask>(expected));

    const QRectF cell(10, 10, 60, 107);
    for (qreal slant : {0.0, 5.0}) {
        SevenSegmentStyle style;
        style.slantDegrees = slant;
        QImage img(80, 130, QImage::Format_RGB32);
        img.fill(kPaper);
        QPainter p(&img);
        paintSevenSegmentText(p, cell, glyph, style, QFont());
        p.end();
        for (int i = 0; i < kSegmentCount; ++i) {
            const SegmentMask seg = SegmentMask(1u << i);
            const QPointF middle = sevenSegmentPath(cell, seg, style).boundingRect().center();
            QVERIFY2(isDark(img, middle) == bool(expected & seg),
                     qPrintable(QStringLiteral("segment %1, slant %2").arg(QChar('a' + i)).arg(slant)));
        }
    }
}

void TestSevenSegment::notGlyphs_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("letter") << "A";
    QTest::newRow("minus") << "-";
    QTest::newRow("two characters") << "10";
    QTest::newRow("upper-case L") << "L";
}

// A text that is no glyph is shown as it stands: ink appears, though no segment matches.
void TestSevenSegment::notGlyphs()
{
    QFETCH(QString, text);
    QVERIFY(!glyphSegments(text));
    QImage img(120, 130, QImage::Format_RGB32);
    img.fill(kPaper);
    QPainter p(&img);
    QFont font;
    font.setPixelSize(60);
    font.setBold(true);
    paintSevenSegmentText(p, QRectF(10, 10, 60, 107), text, {}, font);
    p.end();
    int dark = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            dark += qGray(img.pixel(x, y)) < 100;
    QVERIFY2(dark > 20, qPrintable(QString::number(dark)));
}

void TestSevenSegment::glyphStaysInItsCell_data()
{
    QTest::addColumn<qreal>("slant");
    QTest::newRow("upright") << 0.0;
    QTest::newRow("slanted") << 5.0;
    QTest::newRow("steep") << 12.0;
}

// Neighbouring digits and the decimal points sit next to the cells: a leaning glyph
// must not spill out of its own.
void TestSevenSegment::glyphStaysInItsCell()
{
    QFETCH(qreal, slant);
    SevenSegmentStyle style;
    style.slantDegrees = slant;
    const QRectF cell(32, 30, 60, 107);
    const QRectF bounds = sevenSegmentPath(cell, *glyphSegments(u"8"), style).boundingRect();
    QVERIFY2(cell.adjusted(-0.01, -0.01, 0.01, 0.01).contains(bounds), qPrintable(QStringLiteral("%1,%2 %3x%4")
                                                                                      .arg(bounds.x())
                                                                                      .arg(bounds.y())
                                                                                      .arg(bounds.width())
                                                                                      .arg(bounds.height())));
    // It fills the cell's height and most of its width.
    QCOMPARE(bounds.top(), cell.top());
    QCOMPARE(bounds.bottom(), cell.bottom());
    QVERIFY(bounds.width() > cell.width() * 0.8);
}

QTEST_MAIN(TestSevenSegment)
#include "tst_sevensegment.moc"
