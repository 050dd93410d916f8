// The chart picture of the window's real chart: the page in view and the fill state
// as shown, at the chart's size.

#include "app/gui/tfcomm.h"
#include "link/bridgelink.h"
#include "link/ternframeencoder.h"
#include "record/chartcontrol.h"
#include "record/gui/trendchartview.h"
#include "support/testhelpers.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QImageReader>
#include <QLineEdit>
#include <QLineSeries>
#include <QTest>
#include <QValueAxis>

using namespace sorrel;
using namespace sorrel::test;

namespace {

constexpr QRgb kFill = qRgb(255, 255, 128);
constexpr QRgb kLine = qRgb(128, 255, 0);
constexpr QRgb kWhite = qRgb(255, 255, 255);

// One reading through the bridge's decoder, as the poll hands it on.
void reading(TFCOMM &w, const char *shown)
{
    TernDisplay d = *TernDisplay::fromText(QString::fromLatin1(shown));
    d.set(TernBit::LUX);
    const QByteArray bytes = encodeTernBridgeFrame(d);
    w.session().dispatchBridgeFrame(bridgeFrameText(reinterpret_cast<const quint8 *>(bytes.constData()), 32));
}

// Where the chart draws (x, value), in the chart widget's pixels.
QPoint pixelOf(TrendChartView *chart, double x, double value)
{
    const QPointF inChart = chart->chart()->mapToPosition(QPointF(x, value), chart->Series1);
    return chart->mapFromScene(chart->chart()->mapToScene(inChart));
}

int count(const QImage &image, QRgb colour)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += image.pixel(x, y) == colour;
    return n;
}

// The line crosses column x within a few pixels of y.
bool lineNear(const QImage &image, QPoint at)
{
    for (int dy = -3; dy <= 3; ++dy)
        if (image.valid(at.x(), at.y() + dy) && image.pixel(at.x(), at.y() + dy) == kLine)
            return true;
    return false;
}

QImage saved(TFCOMM &w, const QString &file)
{
    w.saveChartPictureTo(file);
    QImageReader reader(file);
    if (reader.format() != "bmp")
        return {};
    return reader.read().convertToFormat(QImage::Format_RGB32);
}

} // namespace

class TestChartPictureWindow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void secondPageWithoutFill();
};

void TestChartPictureWindow::secondPageWithoutFill()
{
    ScratchDir dir;
    QVERIFY(dir.isValid());
    RecordingNotifier notifier;
    TFCOMM w(AppOptions{}, notifier);
    auto *Maxrecord = control<QLineEdit>(w, "Maxrecord");
    auto *Bt10 = control<QAbstractButton>(w, "Bt10");
    auto *BtFill = control<QCheckBox>(w, "BtFill");
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    TrendChartView *chart = control<TrendChartView>(w, "Chtshow");

    Maxrecord->setFocus();
    Maxrecord->selectAll();
    QTest::keyClicks(Maxrecord, QStringLiteral("10"));
    QTRY_COMPARE_WITH_TIMEOUT(w.chartControl()->pageSize(), 10, 10000);

    // Page 1 (X 1 to 10) low, page 2 (X 11 to 19) high: the column of X 15 on page 2
    // is the column of X 5 on page 1, so the picture tells the pages apart.
    for (int i = 1; i <= 10; ++i)
        reading(w, "50.0");
    for (int i = 11; i <= 19; ++i)
        reading(w, "150.0");
    QCOMPARE(w.readings().rowCount(), qsizetype(19));
    QCOMPARE(Bt10->text(), QStringLiteral("2"));

    // Back to page 1, and forward to page 2 with the buttons.
    QTest::mouseClick(control<QAbstractButton>(w, "BtFirst"), Qt::LeftButton);
    QCOMPARE(Bt10->text(), QStringLiteral("1"));
    QCOMPARE(chart->horizontalAxis()->min(), 1.0);
    const QString page1 = dir.file(QStringLiteral("page1.bmp"));
    const QImage first = saved(w, page1);
    QTest::mouseClick(control<QAbstractButton>(w, "BtNext"), Qt::LeftButton);
    QCOMPARE(Bt10->text(), QStringLiteral("2"));
    QCOMPARE(chart->horizontalAxis()->min(), 11.0);
    QCOMPARE(chart->horizontalAxis()->max(), 20.0);
    QCOMPARE(chart->valueAxis()->max(), 200.0);

    const QImage filled = saved(w, dir.file(QStringLiteral("page2 fill.bmp")));
    QTest::mouseClick(BtFill, Qt::LeftButton);
    QVERIFY(!BtFill->isChecked());
    const QImage bare = saved(w, dir.file(QStringLiteral("page2 no fill.bmp")));
    QCOMPARE(notifier.messages.size(), 3);
    for (const RecordingNotifier::Message &m : notifier.messages)
        QVERIFY2(m.text.startsWith(QStringLiteral("Graphic has saved on ")), qPrintable(m.text));

    for (const QImage &picture : {first, filled, bare})
        QCOMPARE(picture.size(), chart->size());

    const QPoint line = pixelOf(chart, 15, 150); // on the line of page 2
    const QPoint under = pixelOf(chart, 15, 90); // below it: inside the area
    const QPoint over = pixelOf(chart, 15, 180); // above it: the white back wall
    QVERIFY(under.y() > line.y() + 10 && over.y() < line.y() - 10);

    // Fill on: the area under page 2's line is filled, the wall above it white.
    QVERIFY(lineNear(filled, line));
    QCOMPARE(filled.pixel(under), kFill);
    QCOMPARE(filled.pixel(over), kWhite);
    // Page 1's line, at 50, passes below that point: it is not filled there.
    QVERIFY(!lineNear(first, line));
    QVERIFY(first.pixel(under) != kFill);
    QVERIFY(count(first, kFill) > 0);

    // Fill off: the same page and line, and no area anywhere.
    QVERIFY(lineNear(bare, line));
    QCOMPARE(bare.pixel(under), kWhite);
    QCOMPARE(bare.pixel(over), kWhite);
    QVERIFY(count(filled, kFill) > 1000);
    QCOMPARE(count(bare, kFill), 0);
    QVERIFY(count(bare, kLine) > 0);
}

QTEST_MAIN(TestChartPictureWindow)
#include "tst_chartpicture_window.moc"
