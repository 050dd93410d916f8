#pragma once
// The reading report QuickRep5: every row of the reading table on A4 portrait pages, laid
// out in millimetres in bands. A page is computed from the table alone, so any page draws
// in the time of its own rows however long the table is.

#include "base/outcome.h"
#include "record/readingtable.h"

#include <QDate>
#include <QSizeF>
#include <QString>
#include <functional>

class QPainter;

namespace sorrel {

class QuickRep5 {
public:
    struct Band {
        const char *name;
        double height; // mm
    };
    static constexpr Band program_title{"program_title", 10.6};         // page header
    static constexpr Band grid_header_title{"grid_header_title", 10.6}; // column titles
    static constexpr Band data_detial{"data_detial", 6.6};              // one row
    static constexpr Band QRBand14{"QRBand14", 10.6};                   // page footer

    static constexpr QSizeF kPaperMm{210, 297};
    static constexpr double kMarginMm = 10;
    static constexpr double kBandWidthMm = 190;
    static constexpr int kRowsPerPage = int(
        (kPaperMm.height() - 2 * kMarginMm - program_title.height - grid_header_title.height - QRBand14.height)
        / data_detial.height);

    // The table's rows as they are now: rows appended later do not enter this report.
    // printDate is shown as it stands (the system's short date form).
    QuickRep5(const ReadingTable &table, const QString &printDate);

    static QString shortDate(const QDate &date);

    qsizetype rowCount() const { return rows_; }
    int pageCount() const;
    qsizetype firstRowOfPage(int page) const { return qsizetype(page) * kRowsPerPage; }
    const QString &printDate() const { return printDate_; }

    // Draws page (0-based) with the painter's origin at the paper's top-left corner; the
    // scale comes from the device's resolution.
    void paintPage(QPainter &painter, int page) const;

private:
    const ReadingTable &table_;
    qsizetype rows_;
    QString printDate_;
};

// Prints pages [first, last] (0-based) to a PDF file. progress(done, total) is called
// after each page; returning false stops the writing and keeps the old file (cancelled).
// A file that cannot be written fails as an error "Could not save the report to ...",
// the reason on its line; the old file is then kept too.
Outcome writeReportPdf(const QuickRep5 &report, const QString &fileName, int first = 0, int last = -1,
                       const std::function<bool(int done, int total)> &progress = {});

} // namespace sorrel
