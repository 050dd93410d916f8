#pragma once
// The report preview: one page of the reading report at a time, drawn only when it is
// looked at, so that the preview opens at once for any number of rows.

#include "base/notifier.h"
#include "record/report.h"

#include <QAbstractScrollArea>
#include <QDialog>
#include <QImage>
#include <QPrinter>
#include <memory>

class QAction;
class QLabel;

namespace sorrel {

class ReportPageView : public QAbstractScrollArea {
    Q_OBJECT
public:
    enum class Zoom { WholePage, Actual, PageWidth };

    explicit ReportPageView(const QuickRep5 &report, QWidget *parent = nullptr);

    int page() const { return page_; }
    void setPage(int page);
    Zoom zoom() const { return zoom_; }
    void setZoom(Zoom zoom);
    // Device-independent pixels per millimetre at the present zoom.
    double pixelsPerMm() const;
    // Where the page stands in the viewport.
    QRect pageRect() const;

Q_SIGNALS:
    void pageChanged(int page);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    QSize pageSize() const;
    void updateScrollBars();
    const QImage &image();

    const QuickRep5 &report_;
    int page_ = 0;
    Zoom zoom_ = Zoom::WholePage;
    QImage image_; // the page in view, drawn at the present scale
    int imagePage_ = -1;
};

class ReportPreview : public QDialog {
    Q_OBJECT
public:
    ReportPreview(const QuickRep5 &report, Notifier &notifier, QWidget *parent = nullptr);

    ReportPageView *view() const { return view_; }
    const QuickRep5 &report() const { return report_; }

    QAction *WholePage = nullptr, *Actual = nullptr, *PageWidth = nullptr;
    QAction *First = nullptr, *Prior = nullptr, *Next = nullptr, *Last = nullptr;
    QAction *PrinterSetup = nullptr, *Print = nullptr, *SavePdf = nullptr, *Close = nullptr;

    // Prints the printer's page range (all pages when none is set), a page at a time.
    void printTo(QPrinter &printer);
    // The report as a PDF file; a failure is reported through the notifier.
    bool savePdfTo(const QString &fileName);

private:
    void showPageNumber();
    void setupPrinter();
    void printWithDialog();
    void savePdfWithDialog();
    QPrinter &printer();

    const QuickRep5 &report_;
    Notifier &notifier_;
    ReportPageView *view_ = nullptr;
    QLabel *pageLabel_ = nullptr;
    std::unique_ptr<QPrinter> printer_; // made when first needed: finding printers takes time
};

} // namespace sorrel
