// A meter on a pseudo-terminal streams into the main window, connected through the
// window's own controls: the readings must reach the panel, the reading table, the
// grid, the chart and the page caption with the right values and numbers.

#include "app/gui/tfcomm.h"
#include "link/bridgelink.h"
#include "link/commportdriver.h"
#include "link/gui/clickablepanel.h"
#include "link/meterlinks.h"
#include "link/pseudoterminal.h"
#include "link/ternframeencoder.h"
#include "record/chartcontrol.h"
#include "record/gui/readinggridmodel.h"
#include "record/gui/readinggridview.h"
#include "record/gui/reportpreview.h"
#include "record/gui/trendchartview.h"
#include "support/testhelpers.h"

#include <QAbstractButton>
#include <QApplication>
#include <QImageReader>
#include <QLineEdit>
#include <QLineSeries>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QValueAxis>

#include <cmath>
#include <memory>

using namespace sorrel;
using namespace sorrel::test;

namespace {

constexpr int kWait = 10000; // generous: CI shares two cores

struct Shown {
    const char *display; // as TernDisplay::fromText takes it
    Ind point;           // lit main point, or Ind::Count for none
    double scaled;       // the point the chart gets; < 0: the full-scale count (overload)
};

// What the meter shows, in the order it sends it.
const Shown kReadings[] = {
    {"12.34", Ind::LcdP2, 12.34}, {"199.9", Ind::LcdP3, 199.9}, {"1234", Ind::Count, 1234},
    {"1.234", Ind::LcdP1, 1.234}, {" 0L ", Ind::Count, -1}, // recorded too
    {"12.34", Ind::LcdP2, 12.34},                           // a repeat is a row of its own while Repeat is checked
    {"0.056", Ind::LcdP1, 0.056},
};

enum class Link { Serial, Bridge };

TernDisplay displayFor(const Shown &s)
{
    TernDisplay d = *TernDisplay::fromText(QString::fromLatin1(s.display));
    d.set(TernBit::LUX);
    return d;
}

QByteArray bytesFor(Link link, const Shown &s)
{
    return link == Link::Serial ? encodeTernSerialFrame(displayFor(s)) : encodeTernBridgeFrame(displayFor(s));
}

// The value text as the panel shows it: the digits with the system's separator, blanks left out.
QString valueText(const Shown &s, const QString &separator)
{
    QString out = QString::fromLatin1(s.display).trimmed();
    out.replace(u'.', separator);
    return out;
}

void typeInto(QLineEdit *edit, const QString &text)
{
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, text);
}

} // namespace

class TestMeterWindow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void cleanup()
    {
        qunsetenv("SORREL_COM2");
        qunsetenv("SORREL_BRIDGE");
    }
    void streamReachesTheWindow_data();
    void streamReachesTheWindow();
    void bridgeReadsButDoesNotDecodeUnderPreview();
    void programRunsTheDemoBeforeItsScreenshot();
};

void TestMeterWindow::streamReachesTheWindow_data()
{
    QTest::addColumn<Link>("link");
    QTest::addColumn<QString>("unit"); // a serial frame stops short of the unit bits
    QTest::newRow("serial port, COM 2") << Link::Serial << QString();
    QTest::newRow("USB bridge") << Link::Bridge << QStringLiteral("lux");
}

void TestMeterWindow::streamReachesTheWindow()
{
    QFETCH(Link, link);
    QFETCH(QString, unit);

    PseudoTerminal meter;
    QVERIFY(meter.isOpen());
    // The meter is the second port / the one bridge present.
    qputenv(link == Link::Serial ? "SORREL_COM2" : "SORREL_BRIDGE", meter.slavePath().toLocal8Bit());
    RecordingNotifier notifier;
    TFCOMM w(AppOptions{}, notifier);
    auto *USB = control<QPushButton>(w, "USB");
    auto *DBGrid1 = control<ReadingGridView>(w, "DBGrid1");
    auto *Bt10 = control<QAbstractButton>(w, "Bt10");
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));

    // A page of two points, so that the page caption moves within a few readings.
    typeInto(control<QLineEdit>(w, "Maxrecord"), QStringLiteral("2"));
    QTRY_COMPARE_WITH_TIMEOUT(w.chartControl()->pageSize(), 2, kWait);

    if (link == Link::Serial) {
        QTest::mouseClick(control<ClickablePanel>(w, "BtCOM1"), Qt::LeftButton); // "COM 1" -> "COM 2"
        QVERIFY(control<ClickablePanel>(w, "BtCOM2")->isVisible());
        QTest::mouseClick(control<ClickablePanel>(w, "BTCon"), Qt::LeftButton);
        QVERIFY2(w.links().COMM2().Connected(), qPrintable(notifier.texts().join(u'|')));
        QVERIFY(control<ClickablePanel>(w, "BtDiscon")->isVisible());
    } else {
        QTest::mouseClick(USB, Qt::LeftButton);
        QVERIFY(USB->isChecked());
        QVERIFY(w.links().bridge().opened());
    }
    QVERIFY2(notifier.messages.isEmpty(), qPrintable(notifier.texts().join(u'\n')));

    const QString sep = w.session().state().decimalSeparator;
    const LcdPanelState &panel = w.session().panel();
    TrendChartView *chart = control<TrendChartView>(w, "Chtshow");
    ReadingGridModel *grid = DBGrid1->model();
    const int pointsAtStart = int(chart->model().pointCount());
    int rows = 0;
    for (const Shown &s : kReadings) {
        const QString shown = QString::fromLatin1(s.display);
        // Each frame once the one before is in: a second frame in the same bridge read
        // would be flushed, as it is from a real bridge.
        int decoded = 0;
        const auto counter = connect(&w.session(), &MeterSession::frameDecoded, this, [&] { ++decoded; });
        QVERIFY(meter.write(bytesFor(link, s)));
        QTRY_VERIFY_WITH_TIMEOUT(decoded > 0, kWait);
        disconnect(counter);

        // The panel: the four digits, the point, the unit symbol, the receive lamp.
        const TernDisplay d = displayFor(s);
        const Ind digits[] = {Ind::LcdDa, Ind::LcdDb, Ind::LcdDc, Ind::LcdDd};
        for (int i = 0; i < 4; ++i) {
            const char g = d.glyphs[size_t(i)];
            // The digit font draws the overload's L from "@"; a blank digit is empty.
            QCOMPARE(panel.text(digits[i]), g == ' ' ? QString() : QString(QChar(g == 'L' ? '@' : g)));
        }
        for (Ind p : {Ind::LcdP1, Ind::LcdP2, Ind::LcdP3})
            QVERIFY2(panel.isShown(p) == (p == s.point), qPrintable(shown + u' ' + indicatorName(p)));
        QCOMPARE(panel.isShown(Ind::LUX), link == Link::Bridge);

        ++rows;
        // The reading table and the grid: numbered from 1, the value as shown.
        QCOMPARE(int(w.readings().rowCount()), rows);
        const int r = rows - 1;
        QCOMPARE(w.readings().no(r), rows);
        QCOMPARE(w.readings().value(r), valueText(s, sep));
        QCOMPARE(w.readings().unit(r), unit);
        QCOMPARE(grid->rowCount(), rows);
        QCOMPARE(grid->cellText(r, ReadingGridModel::No), QString::number(rows));
        QCOMPARE(grid->cellText(r, ReadingGridModel::Value), valueText(s, sep));
        QCOMPARE(grid->cellText(r, ReadingGridModel::Unit), unit);
        QCOMPARE(DBGrid1->currentRow(), r);
        QVERIFY(DBGrid1->isRowVisible(r));

        // The chart: one point more, at X = readings so far, scaled by the lit point.
        QCOMPARE(int(chart->model().pointCount()), pointsAtStart + rows);
        const double scaled = s.scaled < 0 ? w.session().state().scale.fullScale : s.scaled;
        QVERIFY2(std::abs(chart->model().point(rows) - scaled) < 1e-4,
                 qPrintable(QStringLiteral("%1 charted as %2").arg(shown).arg(chart->model().point(rows))));
        QCOMPARE(chart->Series1->points().constLast().x(), double(rows));
        // With two points a page the caption counts the placeholder and each point.
        const int page = (pointsAtStart + rows + 1) / 2;
        QCOMPARE(Bt10->text(), QString::number(page));
    }
    QCOMPARE(rows, int(std::size(kReadings)));
    QVERIFY(Bt10->text() != QStringLiteral("1"));
    // The run's value axis follows the last reading.
    QCOMPARE(chart->valueAxis()->max(), 20.0);
    QVERIFY2(notifier.messages.isEmpty(), qPrintable(notifier.texts().join(u'\n')));
}

// While the report preview is open the bridge poll goes on reading the bridge, so
// nothing piles up to be decoded later, but no frame is decoded or recorded.
void TestMeterWindow::bridgeReadsButDoesNotDecodeUnderPreview()
{
    PseudoTerminal meter;
    QVERIFY(meter.isOpen());
    qputenv("SORREL_BRIDGE", meter.slavePath().toLocal8Bit());
    RecordingNotifier notifier;
    TFCOMM w(AppOptions{}, notifier);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QTest::mouseClick(control<QPushButton>(w, "USB"), Qt::LeftButton);
    QVERIFY(w.links().bridge().opened());

    const Shown before{"1.111", Ind::LcdP1, 1.111};
    const Shown during{"2.222", Ind::LcdP1, 2.222};
    const Shown after{"3.333", Ind::LcdP1, 3.333};
    QVERIFY(meter.write(bytesFor(Link::Bridge, before)));
    QTRY_COMPARE_WITH_TIMEOUT(w.readings().rowCount(), qsizetype(1), kWait);

    MeterSession &session = w.session();
    bool flagWhileOpen = false;
    bool readWhileOpen = false;
    whenModal([&](QWidget *modal) {
        auto *preview = qobject_cast<ReportPreview *>(modal);
        QVERIFY(preview);
        flagWhileOpen = session.state().previewOpen;
        // Serial digits under way: a successful bridge read empties them, so their
        // going shows that the poll read the frame.
        session.HTernRData(QByteArray("\x11\x22", 2));
        QCOMPARE(session.assembler().dataDigits().size(), size_t(2));
        QVERIFY(meter.write(bytesFor(Link::Bridge, during)));
        QTRY_VERIFY_WITH_TIMEOUT(session.assembler().dataDigits().empty(), kWait);
        readWhileOpen = true;
        preview->Close->trigger();
    });
    QTest::mouseClick(control<QAbstractButton>(w, "BtPrint"), Qt::LeftButton);
    QVERIFY(flagWhileOpen);
    QVERIFY(readWhileOpen);
    QVERIFY(!session.state().previewOpen);
    QCOMPARE(w.readings().rowCount(), qsizetype(1));
    QCOMPARE(session.state().currentValue, valueText(before, session.state().decimalSeparator));

    // After the preview the next frame is the meter's next one, not one held back.
    QVERIFY(meter.write(bytesFor(Link::Bridge, after)));
    QTRY_COMPARE_WITH_TIMEOUT(w.readings().rowCount(), qsizetype(2), kWait);
    QCOMPARE(w.readings().value(1), valueText(after, session.state().decimalSeparator));
    QCOMPARE(w.readings().no(1), 2);
    QCOMPARE(control<TrendChartView>(w, "Chtshow")->model().pointCount(), qsizetype(3));
    QVERIFY2(notifier.messages.isEmpty(), qPrintable(notifier.texts().join(u'\n')));
}

// The program itself, as one looks at it: with --demo and --screenshot-after it presses
// "USB Connect " and lets readings come in before the picture is taken.
void TestMeterWindow::programRunsTheDemoBeforeItsScreenshot()
{
    ScratchDir dir;
    QVERIFY(dir.isValid());
    const QString png = dir.file(QStringLiteral("demo.png"));
    const ProgramRun program = runSorrel({QStringLiteral("--demo"), QStringLiteral("--screenshot-after"),
                                          QStringLiteral("3"), QStringLiteral("--screenshot"), png},
                                         {"QT_QPA_PLATFORM=offscreen"});
    QVERIFY(program.finished);
    QCOMPARE(program.status, QProcess::NormalExit);
    QCOMPARE(program.exitCode, 0);
    const QImage image = QImageReader(png).read();
    QCOMPARE(image.width(), TFCOMM::kClientWidth);
    const int menu = image.height() - TFCOMM::kClientHeight;

    // The grid's first two rows (below its header) hold text; at start-up they are blank.
    RecordingNotifier notifier;
    TFCOMM idle(AppOptions{}, notifier);
    idle.show();
    QVERIFY(QTest::qWaitForWindowExposed(&idle));
    const QImage before = idle.grab().toImage();
    const QRect grid = control<ReadingGridView>(idle, "DBGrid1")->geometry();
    const QRect rows(grid.left() + 2, grid.top() + 22, 340, 30);
    auto ink = [](const QImage &picture, const QRect &area, int dy) {
        int n = 0;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x)
                n += qGray(picture.pixel(x, y + dy)) < 100;
        return n;
    };
    QCOMPARE(ink(before, rows, before.height() - TFCOMM::kClientHeight), 0);
    QVERIFY2(ink(image, rows, menu) > 50, "no readings in the grid");
}

QTEST_MAIN(TestMeterWindow)
#include "tst_meterwindow.moc"
