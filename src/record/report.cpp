#include "record/report.h"

#include "base/fonts.h"
#include "record/elidedtext.h"
#include "record/replacingfile.h"

#include <QDir>
#include <QFont>
#include <QLocale>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

namespace sorrel {

namespace {

constexpr double kColumnGapMm = 1; // between a cut text and the next column

QFont arial(double points, bool bold = false, bool underline = false)
{
    QFont f = arialPoints(points, bold ? Bold::Yes : Bold::No);
    f.setUnderline(underline);
    return f;
}

// Millimetres on the page to device pixels.
class PageGeometry {
public:
    explicit PageGeometry(const QPainter &painter)
        : x_(painter.device()->logicalDpiX() / 25.4), y_(painter.device()->logicalDpiY() / 25.4)
    {}
    QPointF at(double xMm, double yMm) const { return {xMm * x_, yMm * y_}; }
    // A label: left-aligned at its top-left corner, as wide as its text.
    void label(QPainter &p, double xMm, double yMm, const QString &text) const
    {
        p.drawText(QRectF(at(xMm, yMm), QSizeF(0, 0)), Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip, text);
    }
    // A label that ends before rightMm: a longer text is cut at the right.
    void cell(QPainter &p, double xMm, double yMm, double rightMm, const QString &text) const
    {
        const double heightMm = QuickRep5::data_detial.height - 2.1;
        drawElidedText(p, QRectF(at(xMm, yMm), at(rightMm, yMm + heightMm)), Qt::AlignLeft | Qt::AlignTop, text);
    }

private:
    double x_, y_;
};

} // namespace

QuickRep5::QuickRep5(const ReadingTable &table, const QString &printDate)
    : table_(table), rows_(table.rowCount()), printDate_(printDate)
{}

QString QuickRep5::shortDate(const QDate &date)
{
    return QLocale::system().toString(date, QLocale::ShortFormat);
}

int QuickRep5::pageCount() const
{
    // An empty table still prints one page: header, column titles and footer.
    return rows_ == 0 ? 1 : int((rows_ + kRowsPerPage - 1) / kRowsPerPage);
}

void QuickRep5::paintPage(QPainter &p, int page) const
{
    const PageGeometry g(p);
    p.save();
    p.setPen(Qt::black);
    double top = kMarginMm;
    const double left = kMarginMm;

    // program_title: the title label Quail centred across the band, then the print date.
    p.setFont(arial(14, true, true));
    p.drawText(QRectF(g.at(left, top + 2.1), g.at(left + kBandWidthMm, top + 2.1 + 6.6)),
               Qt::AlignHCenter | Qt::AlignTop | Qt::TextDontClip, QStringLiteral("Data Report"));
    p.setFont(arial(7));
    g.label(p, left + 158.8, top + 5.3, QStringLiteral("Print Date:"));
    g.label(p, left + 171.4, top + 5.3, printDate_);
    top += program_title.height;

    p.setFont(arial(10));
    g.label(p, left + 12.7, top + 4.2, QStringLiteral("No"));
    g.label(p, left + 33.9, top + 4.2, QStringLiteral("Time"));
    g.label(p, left + 66.4, top + 4.2, QStringLiteral("Value"));
    g.label(p, left + 86.8, top + 4.2, QStringLiteral("Unit"));
    top += grid_header_title.height;

    // data_detial, once per row of this page. The table may have been emptied since the
    // report was made; missing rows are left out.
    const qsizetype first = firstRowOfPage(page);
    const qsizetype last = std::min({rows_, first + kRowsPerPage, table_.rowCount()});
    for (qsizetype i = first; i < last; ++i) {
        const ReadingRow r = table_.row(i);
        if (r.no)
            g.label(p, left + 12.7, top + 2.1, QString::number(*r.no));
        g.cell(p, left + 33.9, top + 2.1, left + 65.6 - kColumnGapMm, r.time);
        g.cell(p, left + 65.6, top + 2.1, left + 86.8 - kColumnGapMm, r.value);
        g.label(p, left + 86.8, top + 2.1, r.unit);
        top += data_detial.height;
    }

    // QRBand14 sits at the foot of every page.
    p.setFont(arial(8));
    g.label(p, left + 153.5, kPaperMm.height() - kMarginMm - QRBand14.height + 4.2, QString::number(page + 1));
    p.restore();
}

Outcome writeReportPdf(const QuickRep5 &report, const QString &fileName, int first, int last,
                       const std::function<bool(int, int)> &progress)
{
    if (last < 0 || last >= report.pageCount())
        last = report.pageCount() - 1;
    first = std::clamp(first, 0, last);
    const auto failed = [&](const QString &why) {
        return Outcome::failure(QStringLiteral("Could not save the report to ")
                                    + QDir::toNativeSeparators(fileName),
                                QStringLiteral(": "), why, MessageKind::Error);
    };
    // QPdfWriter does not say why a write failed; the file does.
    ReplacingFile file(fileName);
    if (!file.open())
        return failed(file.errorString());
    QPdfWriter pdf(&file);
    pdf.setTitle(QStringLiteral("Data Report"));
    pdf.setCreator(QStringLiteral("Sorrel"));
    pdf.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(0, 0, 0, 0),
                                  QPageLayout::Millimeter));
    pdf.setResolution(600);
    QPainter painter;
    if (!painter.begin(&pdf))
        return failed(QStringLiteral("Cannot write \"%1\"").arg(fileName));
    const int total = last - first + 1;
    for (int page = first; page <= last; ++page) {
        if (page > first)
            pdf.newPage();
        report.paintPage(painter, page);
        if (progress && !progress(page - first + 1, total)) {
            // A cancelled save keeps the old file rather than a report cut short.
            painter.end();
            return Outcome::cancelled();
        }
    }
    if (!painter.end())
        return failed(QStringLiteral("Cannot write \"%1\"").arg(fileName));
    if (!file.commit())
        return failed(file.errorString());
    return Outcome::success();
}

} // namespace sorrel
