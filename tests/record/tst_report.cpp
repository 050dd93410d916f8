// The reading report through PDF: pages, texts and where they stand on the paper.

#include "record/report.h"
#include "record/scratchmount.h"
#include "support/testhelpers.h"

#include <QDir>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

#include <cerrno>
#include <memory>

using namespace sorrel;
using namespace sorrel::test;

namespace {

void fill(ReadingTable &table, int rows)
{
    for (int i = 0; i < rows; ++i)
        table.append({i + 1,
                      QStringLiteral("10:%1:%2")
                          .arg(i / 60 % 60, 2, 10, QLatin1Char('0'))
                          .arg(i % 60, 2, 10, QLatin1Char('0')),
                      QStringLiteral("v%1").arg(i + 1), QStringLiteral("lux")});
}

QString pdftotext(const QStringList &args)
{
    const ProgramRun p = runProgram(QStringLiteral("pdftotext"), args);
    if (!p.finished || p.exitCode != 0)
        return QStringLiteral("<pdftotext failed: %1>").arg(QString::fromLocal8Bit(p.err));
    return QString::fromUtf8(p.out);
}

struct Word {
    QString text;
    double x, y, right; // mm
};

// Words of one page with their boxes, from pdftotext's bbox output (points).
QList<Word> wordsOf(const QString &pdf, int page)
{
    const QString html = pdftotext({QStringLiteral("-bbox"), QStringLiteral("-f"), QString::number(page),
                                    QStringLiteral("-l"), QString::number(page), pdf, QStringLiteral("-")});
    QList<Word> out;
    static const QRegularExpression word(QStringLiteral(
        "<word xMin=\"([0-9.]+)\" yMin=\"([0-9.]+)\" xMax=\"([0-9.]+)\" yMax=\"[0-9.]+\">([^<]*)</word>"));
    for (auto it = word.globalMatch(html); it.hasNext();) {
        const auto m = it.next();
        const auto mm = [&](int i) { return m.captured(i).toDouble() * 25.4 / 72; };
        out.append({m.captured(4), mm(1), mm(2), mm(3)});
    }
    return out;
}

std::optional<Word> find(const QList<Word> &words, const QString &text)
{
    for (const Word &w : words)
        if (w.text == text)
            return w;
    return std::nullopt;
}

} // namespace

class TestReport : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void pages_data();
    void pages();
    void placement_data();
    void placement();
    void titleCentred();
    void longTimeStaysInItsColumn();
    void snapshot();
    void unwritablePdf_data();
    void unwritablePdf();

private:
    ScratchDir dir_;
};

void TestReport::initTestCase()
{
    QVERIFY(dir_.isValid());
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
        QSKIP("pdftotext (poppler-utils) is missing");
}

void TestReport::pages_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<QList<int>>("perPage");
    QTest::newRow("empty table: one page") << 0 << QList<int>{0};
    QTest::newRow("one row") << 1 << QList<int>{1};
    QTest::newRow("a full page") << 37 << QList<int>{37};
    QTest::newRow("one over") << 38 << QList<int>{37, 1};
    QTest::newRow("100 rows") << 100 << QList<int>{37, 37, 26};
}

// Every page repeats the title, the date and the column titles, ends with its number,
// and holds its own rows in order.
void TestReport::pages()
{
    QFETCH(int, rows);
    QFETCH(QList<int>, perPage);
    ReadingTable table;
    fill(table, rows);
    const QString date = QuickRep5::shortDate(QDate(2024, 3, 9));
    const QuickRep5 report(table, date);
    QCOMPARE(report.pageCount(), perPage.size());

    const QString pdf = dir_.file(QStringLiteral("r%1.pdf").arg(rows));
    const Outcome written = writeReportPdf(report, pdf);
    QVERIFY2(written, qPrintable(written.message()));
    const QString info = pdftotext({QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    const QStringList pages = info.split(u'\f', Qt::SkipEmptyParts);
    QCOMPARE(pages.size(), perPage.size());

    int next = 1;
    for (int k = 0; k < pages.size(); ++k) {
        QStringList lines = pages[k].split(u'\n', Qt::SkipEmptyParts);
        for (QString &l : lines)
            l = l.simplified();
        lines.removeAll(QString());
        QVERIFY2(lines.size() >= 3, qPrintable(pages[k]));
        QCOMPARE(lines.takeFirst(), QStringLiteral("Data Report Print Date: ") + date);
        QCOMPARE(lines.takeFirst(), QStringLiteral("No Time Value Unit"));
        QCOMPARE(lines.takeLast(), QString::number(k + 1));
        QStringList expected;
        for (int i = 0; i < perPage[k]; ++i, ++next) {
            const ReadingRow r = table.row(next - 1);
            expected << QStringLiteral("%1 %2 %3 %4").arg(*r.no).arg(r.time, r.value, r.unit);
        }
        QCOMPARE(lines, expected);
    }
}

void TestReport::placement_data()
{
    // Left and top of each text on the paper, in mm: margin 10, bands 10.6 / 10.6 / 6.6.
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("page");
    QTest::addColumn<double>("x");
    QTest::addColumn<double>("top"); // top of the label; the glyphs start a little lower
    QTest::newRow("Print Date:") << "Print" << 1 << 168.8 << 15.3;
    QTest::newRow("date") << "09.03.2024" << 1 << 181.4 << 15.3;
    QTest::newRow("No title") << "No" << 1 << 22.7 << 24.8;
    QTest::newRow("Time title") << "Time" << 1 << 43.9 << 24.8;
    QTest::newRow("Value title") << "Value" << 1 << 76.4 << 24.8;
    QTest::newRow("Unit title") << "Unit" << 1 << 96.8 << 24.8;
    QTest::newRow("first row No") << "1" << 1 << 22.7 << 33.3;
    QTest::newRow("first row Time") << "10:00:00" << 1 << 43.9 << 33.3;
    QTest::newRow("first row Value") << "v1" << 1 << 75.6 << 33.3;
    QTest::newRow("37th row Value") << "v37" << 1 << 75.6 << 33.3 + 36 * 6.6;
    QTest::newRow("page 2 first row") << "v38" << 2 << 75.6 << 33.3;
    QTest::newRow("page number") << "2" << 2 << 163.5 << 280.6;
}

void TestReport::placement()
{
    QFETCH(QString, text);
    QFETCH(int, page);
    QFETCH(double, x);
    QFETCH(double, top);
    ReadingTable table;
    fill(table, 40);
    const QuickRep5 report(table, QStringLiteral("09.03.2024"));
    const QString pdf = dir_.file(QStringLiteral("placement.pdf"));
    const Outcome written = writeReportPdf(report, pdf);
    QVERIFY2(written, qPrintable(written.message()));
    const QList<Word> words = wordsOf(pdf, page);
    // "1" is both the first row's number and page 1's number: take the upper.
    std::optional<Word> w;
    for (const Word &c : words)
        if (c.text == text && (!w || c.y < w->y))
            w = c;
    QVERIFY2(w, qPrintable(text));
    QVERIFY2(qAbs(w->x - x) < 0.8, qPrintable(QStringLiteral("x %1 mm").arg(w->x)));
    QVERIFY2(w->y >= top - 0.2 && w->y < top + 1.5, qPrintable(QStringLiteral("top %1 mm").arg(w->y)));
}

// The title stands centred across the band, 10 to 200 mm.
void TestReport::titleCentred()
{
    ReadingTable table;
    const QuickRep5 report(table, QStringLiteral("d"));
    const QString pdf = dir_.file(QStringLiteral("title.pdf"));
    const Outcome written = writeReportPdf(report, pdf);
    QVERIFY2(written, qPrintable(written.message()));
    const QList<Word> words = wordsOf(pdf, 1);
    const auto data = find(words, QStringLiteral("Data"));
    const auto title = find(words, QStringLiteral("Report"));
    QVERIFY(data && title);
    QVERIFY2(qAbs((data->x + title->right) / 2 - 105) < 0.5,
             qPrintable(QStringLiteral("%1 to %2 mm").arg(data->x).arg(title->right)));
}

// A time of 20 characters (the longest a row holds) is cut at the right inside its
// column and leaves the value beside it readable.
void TestReport::longTimeStaysInItsColumn()
{
    ReadingTable table;
    table.append({1, QStringLiteral("2024-03-09T10:15:02Z"), QStringLiteral("v1"), QStringLiteral("lux")});
    const QuickRep5 report(table, QStringLiteral("d"));
    const QString pdf = dir_.file(QStringLiteral("longtime.pdf"));
    const Outcome written = writeReportPdf(report, pdf);
    QVERIFY2(written, qPrintable(written.message()));
    const QList<Word> words = wordsOf(pdf, 1);
    std::optional<Word> time;
    for (const Word &w : words)
        if (w.text.startsWith(QStringLiteral("2024-03-09T")))
            time = w;
    QVERIFY(time);
    QVERIFY2(qAbs(time->x - 43.9) < 0.8, qPrintable(QStringLiteral("time at %1 mm").arg(time->x)));
    const auto value = find(words, QStringLiteral("v1"));
    QVERIFY2(value, qPrintable(time->text));
    QVERIFY2(qAbs(value->x - 75.6) < 0.8, qPrintable(QStringLiteral("value at %1 mm").arg(value->x)));
    QVERIFY2(time->right < value->x - 0.5,
             qPrintable(QStringLiteral("time %1 ends at %2 mm").arg(time->text).arg(time->right)));
}

// The report keeps the rows of its making; rows recorded later and a table emptied
// meanwhile do not disturb it.
void TestReport::snapshot()
{
    ReadingTable table;
    fill(table, 40);
    const QuickRep5 report(table, QStringLiteral("d"));
    fill(table, 40);
    QCOMPARE(report.rowCount(), qsizetype(40));
    QCOMPARE(report.pageCount(), 2);

    // Ink in the rows' part of page 2, drawn at 4 px/mm.
    auto inkInRows = [&] {
        QImage page(840, 1188, QImage::Format_RGB32);
        page.setDotsPerMeterX(4000);
        page.setDotsPerMeterY(4000);
        page.fill(Qt::white);
        QPainter p(&page);
        report.paintPage(p, 1);
        p.end();
        int ink = 0;
        for (int y = 32 * 4; y < 270 * 4; ++y)
            for (int x = 0; x < page.width(); ++x)
                ink += page.pixel(x, y) != qRgb(255, 255, 255);
        return ink;
    };
    QVERIFY(inkInRows() > 0);
    table.clear();
    QCOMPARE(inkInRows(), 0);
}

void TestReport::unwritablePdf_data()
{
    QTest::addColumn<QString>("situation");
    QTest::addColumn<QString>("reason"); // empty: none shown
    QTest::newRow("missing folder") << "missing folder" << qt_error_string(ENOENT);
    QTest::newRow("full disk") << "full disk" << qt_error_string(ENOSPC);
    QTest::newRow("cancelled") << "cancelled"
                               << "";
}

// Every failed or cancelled save keeps the old file as it was.
void TestReport::unwritablePdf()
{
    QFETCH(QString, situation);
    QFETCH(QString, reason);
    ReadingTable table;
    fill(table, 100);
    const QuickRep5 report(table, QStringLiteral("d"));
    QString folder = dir_.file(situation);
    QVERIFY(QDir().mkpath(folder));
    std::unique_ptr<ScratchMount> mount;
    if (situation == u"missing folder") {
        folder = dir_.file(QStringLiteral("no/such/dir"));
    } else if (situation == u"full disk") {
        mount = std::make_unique<ScratchMount>(QStringLiteral("size=16k"));
        if (!mount->mounted())
            QSKIP("mounting a small tmpfs needs root");
        folder = mount->path();
    }
    const QString pdf = folder + QStringLiteral("/r.pdf");
    const QByteArray old = "old report";
    if (situation != u"missing folder") {
        QFile f(pdf);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(old) == old.size());
    }
    if (mount)
        QVERIFY(mount->leaveFree(0));
    const Outcome written = writeReportPdf(report, pdf, 0, -1,
                                           [&](int done, int) { return situation != u"cancelled" || done < 2; });
    QVERIFY(!written);
    // A cancel is no failure: there is nothing to tell.
    QCOMPARE(written.wasCancelled(), reason.isEmpty());
    QCOMPARE(written.reason(), reason);
    if (!reason.isEmpty()) {
        QCOMPARE(written.kind(), MessageKind::Error);
        QCOMPARE(written.message(),
                 "Could not save the report to " + QDir::toNativeSeparators(pdf) + ": " + reason);
    }
    if (situation != u"missing folder") {
        QFile f(pdf);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), old);
        QStringList left = QDir(folder).entryList(QDir::Files | QDir::Hidden);
        left.removeAll(ScratchMount::fillerName());
        QCOMPARE(left, QStringList{QStringLiteral("r.pdf")});
    }
}

QTEST_MAIN(TestReport)
#include "tst_report.moc"
