// The report preview (paging, zoom, printing) and the chart picture, through the window.

#include "app/gui/tfcomm.h"
#include "record/gui/chartpicture.h"
#include "record/gui/reportpreview.h"
#include "record/gui/trendchartview.h"
#include "record/scratchmount.h"
#include "support/testhelpers.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QImageReader>
#include <QLabel>
#include <QPainter>
#include <QPrinter>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>

#include <cerrno>
#include <memory>

using namespace sorrel;
using namespace sorrel::test;

namespace {

void fill(ReadingTable &table, int rows)
{
    for (int i = 0; i < rows; ++i)
        table.append({i + 1, QStringLiteral("10:15:%1").arg(i % 60, 2, 10, QLatin1Char('0')),
                      QString::number(i * 0.5), QStringLiteral("lux")});
}

// A blue control to sit on a chart.
QWidget *control(QWidget *parent, const QRect &at)
{
    auto *w = new QWidget(parent);
    w->setGeometry(at);
    w->setAutoFillBackground(true);
    QPalette pal = w->palette();
    pal.setColor(QPalette::Window, Qt::blue);
    w->setPalette(pal);
    return w;
}

// Paints a red square and leaves the rest to its background.
class PaintedChart : public QWidget {
public:
    PaintedChart()
    {
        resize(321, 394);
        control(this, QRect(200, 300, 40, 30));
    }

protected:
    void paintEvent(QPaintEvent *) override { QPainter(this).fillRect(10, 10, 20, 20, Qt::red); }
};

QString pdfPages(const QString &pdf)
{
    return QString::fromUtf8(
        runProgram(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")}).out);
}

} // namespace

class TestReportWindow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QVERIFY(dir_.isValid()); }
    void paging();
    void zoom();
    void printRange();
    void pdfFailure();
    void previewFromWindow();
    void chartPicture();
    void chartPictureFromWindow();
    void chartPictureOnFullDisk();

private:
    ScratchDir dir_;
};

// Each step shows the page it names, and the page in view is that page's drawing.
void TestReportWindow::paging()
{
    ReadingTable table;
    fill(table, 100);
    const QuickRep5 report(table, QStringLiteral("d"));
    RecordingNotifier notifier;
    ReportPreview preview(report, notifier);
    preview.resize(700, 800);
    preview.show();
    QVERIFY(QTest::qWaitForWindowExposed(&preview));
    auto *label = preview.findChild<QLabel *>();
    QVERIFY(label);

    auto shown = [&] {
        // Inside the page's border line.
        const QImage grab = preview.view()->viewport()->grab().toImage();
        return grab.copy(preview.view()->pageRect().adjusted(1, 1, -1, -1));
    };
    auto drawn = [&](int page) {
        // The same page drawn straight from the report at the view's scale.
        const double s = preview.view()->pixelsPerMm();
        QImage img(preview.view()->pageRect().size(), QImage::Format_RGB32);
        img.setDotsPerMeterX(qRound(s * 1000));
        img.setDotsPerMeterY(qRound(s * 1000));
        img.fill(Qt::white);
        QPainter p(&img);
        p.setRenderHint(QPainter::TextAntialiasing);
        report.paintPage(p, page);
        p.end();
        return img.copy(img.rect().adjusted(1, 1, -1, -1)).convertToFormat(shown().format());
    };

    struct Step {
        QAction *action;
        int page;
    };
    const QList<Step> steps{{nullptr, 0},       {preview.Next, 1}, {preview.Next, 2}, {preview.Next, 2},
                            {preview.First, 0}, {preview.Last, 2}, {preview.Prior, 1}};
    for (const Step &step : steps) {
        if (step.action)
            step.action->trigger();
        QCOMPARE(preview.view()->page(), step.page);
        QCOMPARE(label->text(), QStringLiteral("Page %1 of 3").arg(step.page + 1));
        QCOMPARE(preview.Next->isEnabled(), step.page < 2);
        QCOMPARE(preview.Prior->isEnabled(), step.page > 0);
        QCOMPARE(shown(), drawn(step.page));
        QVERIFY(shown() != drawn((step.page + 1) % 3));
    }
}

void TestReportWindow::zoom()
{
    ReadingTable table;
    const QuickRep5 report(table, QStringLiteral("d"));
    RecordingNotifier notifier;
    ReportPreview preview(report, notifier);
    preview.resize(700, 600);
    preview.show();
    QVERIFY(QTest::qWaitForWindowExposed(&preview));
    ReportPageView *view = preview.view();
    const QRect viewport = view->viewport()->rect();

    preview.WholePage->trigger();
    QVERIFY(viewport.contains(view->pageRect()));
    QVERIFY(view->pageRect().height() > viewport.height() - 30); // fills the height

    preview.PageWidth->trigger();
    QTRY_VERIFY(qAbs(view->pageRect().width() - (view->viewport()->width() - 24)) <= 2);

    preview.Actual->trigger();
    QCOMPARE(view->pixelsPerMm(), view->logicalDpiX() / 25.4);
    QCOMPARE(view->pageRect().width(), qRound(210 * view->logicalDpiX() / 25.4));
    QVERIFY(preview.Actual->isChecked() && !preview.WholePage->isChecked());
}

// Printing takes the printer's page range, a page at a time.
void TestReportWindow::printRange()
{
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
        QSKIP("pdftotext (poppler-utils) is missing");
    ReadingTable table;
    fill(table, 100);
    const QuickRep5 report(table, QStringLiteral("d"));
    RecordingNotifier notifier;
    ReportPreview preview(report, notifier);
    QPrinter printer(QPrinter::HighResolution);
    const QString pdf = dir_.file(QStringLiteral("printed.pdf"));
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    printer.setPrintRange(QPrinter::PageRange);
    printer.setFromTo(2, 3);
    preview.printTo(printer);
    const QStringList pages = pdfPages(pdf).split(u'\f', Qt::SkipEmptyParts);
    QCOMPARE(pages.size(), 2);
    QVERIFY(pages[0].contains(QStringLiteral("\n38 ")) && pages[0].trimmed().endsWith(u'2'));
    QVERIFY(pages[1].contains(QStringLiteral("\n100 ")) && pages[1].trimmed().endsWith(u'3'));
}

void TestReportWindow::pdfFailure()
{
    ReadingTable table;
    const QuickRep5 report(table, QStringLiteral("d"));
    RecordingNotifier notifier;
    ReportPreview preview(report, notifier);
    QVERIFY(!preview.savePdfTo(dir_.file(QStringLiteral("no/such/dir/r.pdf"))));
    QCOMPARE(notifier.messages.size(), 1);
    QCOMPARE(notifier.messages[0].kind, MessageKind::Error);
    QVERIFY(preview.savePdfTo(dir_.file(QStringLiteral("r.pdf"))));
    QCOMPARE(notifier.messages.size(), 1);
}

// While the preview is open the flag is up, and rows recorded meanwhile stay out of the
// report already made.
void TestReportWindow::previewFromWindow()
{
    RecordingNotifier notifier;
    TFCOMM w(AppOptions{}, notifier);
    auto *BtPrint = control<QAbstractButton>(w, "BtPrint");
    fill(w.readings(), 37);
    bool flagWhileOpen = false;
    int pagesBefore = 0, pagesAfter = 0;
    qsizetype rowsInReport = 0;
    whenModal([&](QWidget *modal) {
        auto *preview = qobject_cast<ReportPreview *>(modal);
        QVERIFY(preview);
        if (rowsInReport)
            return; // seen already
        flagWhileOpen = w.session().state().previewOpen;
        pagesBefore = preview->report().pageCount();
        fill(w.readings(), 5);
        rowsInReport = preview->report().rowCount();
        pagesAfter = preview->report().pageCount();
        preview->Close->trigger();
    });
    QVERIFY(!w.session().state().previewOpen);
    QVERIFY(BtPrint);
    BtPrint->click();
    QVERIFY(flagWhileOpen);
    QVERIFY(!w.session().state().previewOpen);
    QCOMPARE(pagesBefore, 1);
    QCOMPARE(pagesAfter, 1);
    QCOMPARE(rowsInReport, qsizetype(37));
    QCOMPARE(w.readings().rowCount(), qsizetype(42));
}

// The chart as drawn, on white, at its size; the controls on it are left out.
void TestReportWindow::chartPicture()
{
    PaintedChart painted;
    QImage picture = sorrel::chartPicture(&painted);
    QCOMPARE(picture.size(), QSize(321, 394));
    QCOMPARE(picture.pixel(0, 0), qRgb(255, 255, 255));
    QCOMPARE(picture.pixel(15, 15), qRgb(255, 0, 0));
    QCOMPARE(picture.pixel(210, 310), qRgb(255, 255, 255));

    // A chart drawn in a viewport, as a chart view is.
    QGraphicsScene scene(0, 0, 200, 150);
    scene.setBackgroundBrush(Qt::green);
    scene.addRect(50, 50, 20, 20, QPen(Qt::NoPen), Qt::red);
    QGraphicsView view(&scene);
    view.setFrameShape(QFrame::NoFrame);
    view.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view.resize(200, 150);
    control(&view, QRect(0, 0, 40, 20));
    picture = sorrel::chartPicture(&view);
    QCOMPARE(picture.size(), QSize(200, 150));
    QCOMPARE(picture.pixel(60, 60), qRgb(255, 0, 0));
    QCOMPARE(picture.pixel(10, 10), qRgb(0, 255, 0));

    const QString file = dir_.file(QStringLiteral("chart.bmp"));
    const Outcome saved = saveChartPicture(&view, file);
    QVERIFY2(saved, qPrintable(saved.message()));
    QImageReader reader(file);
    QCOMPARE(reader.format(), QByteArray("bmp"));
    const QImage back = reader.read();
    QCOMPARE(back.convertToFormat(QImage::Format_RGB32), picture);
}

void TestReportWindow::chartPictureFromWindow()
{
    RecordingNotifier notifier;
    TFCOMM w(AppOptions{}, notifier);
    auto *Chtshow = control<TrendChartView>(w, "Chtshow");
    QVERIFY(Chtshow);
    const QString file = dir_.file(QStringLiteral("window chart.bmp"));
    w.saveChartPictureTo(file);
    QCOMPARE(notifier.messages,
             (QList<RecordingNotifier::Message>{{MessageKind::Information, "Graphic has saved on " + file}}));
    QCOMPARE(QImage(file).size(), Chtshow->size());

    // Unwritable: the general error report with its own text, and no success box.
    notifier.clear();
    const QString bad = dir_.file(QStringLiteral("no/such/dir/c.bmp"));
    w.saveChartPictureTo(bad);
    QCOMPARE(notifier.messages.size(), 1);
    QCOMPARE(notifier.messages[0].kind, MessageKind::Failure);
    QVERIFY2(notifier.messages[0].text.contains(bad), qPrintable(notifier.messages[0].text));
}

// A picture smaller than the write buffer: the full disk shows only when it is flushed.
void TestReportWindow::chartPictureOnFullDisk()
{
    ScratchMount mount(QStringLiteral("size=16k"));
    if (!mount.mounted())
        QSKIP("mounting a small tmpfs needs root");
    const QString file = mount.filePath(QStringLiteral("c.bmp"));
    const QByteArray old = "old picture";
    {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(old) == old.size());
    }
    QVERIFY(mount.leaveFree(0));
    QWidget chart;
    chart.resize(8, 8);
    RecordingNotifier notifier;
    QVERIFY(!saveChartPicture(&chart, file).tell(notifier));
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), old);
    QCOMPARE(notifier.messages,
             (QList<RecordingNotifier::Message>{
                 {MessageKind::Failure,
                  QStringLiteral("Cannot write file \"%1\". %2").arg(file, qt_error_string(ENOSPC))}}));
}

QTEST_MAIN(TestReportWindow)
#include "tst_report_window.moc"
