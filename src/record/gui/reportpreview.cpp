#include "record/gui/reportpreview.h"

#include "base/gui/filedialog.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QPageSetupDialog>
#include <QPainter>
#include <QPrintDialog>
#include <QProgressDialog>
#include <QScreen>
#include <QScrollBar>
#include <QToolBar>
#include <QVBoxLayout>

namespace sorrel {

namespace {
constexpr int kGap = 12; // grey around the page, px
}

// ---- ReportPageView ------------------------------------------------------------------

ReportPageView::ReportPageView(const QuickRep5 &report, QWidget *parent)
    : QAbstractScrollArea(parent), report_(report)
{
    setObjectName(QStringLiteral("ReportPageView"));
    viewport()->setBackgroundRole(QPalette::Dark);
    viewport()->setAutoFillBackground(true);
    setFocusPolicy(Qt::StrongFocus);
}

void ReportPageView::setPage(int page)
{
    page = std::clamp(page, 0, report_.pageCount() - 1);
    if (page == page_)
        return;
    page_ = page;
    verticalScrollBar()->setValue(0);
    viewport()->update();
    Q_EMIT pageChanged(page_);
}

void ReportPageView::setZoom(Zoom zoom)
{
    zoom_ = zoom;
    updateScrollBars();
    viewport()->update();
}

double ReportPageView::pixelsPerMm() const
{
    const QSizeF paper = QuickRep5::kPaperMm;
    const QSize room = viewport()->size() - QSize(2 * kGap, 2 * kGap);
    switch (zoom_) {
    case Zoom::Actual:
        return logicalDpiX() / 25.4;
    case Zoom::PageWidth:
        return std::max(0.5, room.width() / paper.width());
    case Zoom::WholePage:
        break;
    }
    return std::max(0.5, std::min(room.width() / paper.width(), room.height() / paper.height()));
}

QSize ReportPageView::pageSize() const
{
    const double s = pixelsPerMm();
    return QSize(qRound(QuickRep5::kPaperMm.width() * s), qRound(QuickRep5::kPaperMm.height() * s));
}

QRect ReportPageView::pageRect() const
{
    const QSize size = pageSize();
    const int x = std::max(kGap, (viewport()->width() - size.width()) / 2) - horizontalScrollBar()->value();
    const int y = kGap - verticalScrollBar()->value();
    return QRect(QPoint(x, y), size);
}

void ReportPageView::updateScrollBars()
{
    const QSize size = pageSize() + QSize(2 * kGap, 2 * kGap);
    const QSize view = viewport()->size();
    horizontalScrollBar()->setRange(0, std::max(0, size.width() - view.width()));
    horizontalScrollBar()->setPageStep(view.width());
    verticalScrollBar()->setRange(0, std::max(0, size.height() - view.height()));
    verticalScrollBar()->setPageStep(view.height());
}

const QImage &ReportPageView::image()
{
    // Drawn at device pixels so that text stays sharp on dense screens.
    const double dpr = devicePixelRatioF();
    const double s = pixelsPerMm() * dpr;
    const QSize size(qRound(QuickRep5::kPaperMm.width() * s), qRound(QuickRep5::kPaperMm.height() * s));
    if (imagePage_ != page_ || image_.size() != size) {
        image_ = QImage(size, QImage::Format_RGB32);
        image_.setDotsPerMeterX(qRound(s * 1000));
        image_.setDotsPerMeterY(qRound(s * 1000));
        image_.fill(Qt::white);
        QPainter p(&image_);
        p.setRenderHint(QPainter::TextAntialiasing);
        report_.paintPage(p, page_);
        imagePage_ = page_;
    }
    return image_;
}

void ReportPageView::paintEvent(QPaintEvent *)
{
    QPainter p(viewport());
    const QRect page = pageRect();
    p.fillRect(page.translated(3, 3), QColor(0, 0, 0, 90));
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(page, image());
    p.setPen(Qt::darkGray);
    p.drawRect(page.adjusted(0, 0, -1, -1));
}

void ReportPageView::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars();
}

void ReportPageView::scrollContentsBy(int, int)
{
    viewport()->update();
}

// ---- ReportPreview -------------------------------------------------------------------

ReportPreview::ReportPreview(const QuickRep5 &report, Notifier &notifier, QWidget *parent)
    : QDialog(parent), report_(report), notifier_(notifier)
{
    setObjectName(QStringLiteral("ReportPreview"));
    setWindowTitle(QStringLiteral("Print Preview"));
    setWindowFlags(windowFlags() | Qt::WindowMaximizeButtonHint | Qt::WindowMinimizeButtonHint);
    setSizeGripEnabled(true);

    auto *bar = new QToolBar(this);
    bar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    auto add = [&](const QString &text, const QKeySequence &key, auto slot) {
        QAction *a = bar->addAction(text);
        if (!key.isEmpty())
            a->setShortcut(key);
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    view_ = new ReportPageView(report_, this);
    auto zoom = [this](ReportPageView::Zoom z) { return [this, z] { view_->setZoom(z); }; };
    auto go = [this](auto page) { return [this, page] { view_->setPage(page()); }; };
    WholePage = add(QStringLiteral("Whole Page"), {}, zoom(ReportPageView::Zoom::WholePage));
    Actual = add(QStringLiteral("100 %"), {}, zoom(ReportPageView::Zoom::Actual));
    PageWidth = add(QStringLiteral("Page Width"), {}, zoom(ReportPageView::Zoom::PageWidth));
    bar->addSeparator();
    First = add(QStringLiteral("First"), QKeySequence(Qt::CTRL | Qt::Key_Home), go([] { return 0; }));
    Prior = add(QStringLiteral("Previous"), QKeySequence(Qt::Key_PageUp),
                go([this] { return view_->page() - 1; }));
    pageLabel_ = new QLabel(this);
    pageLabel_->setMargin(6);
    bar->addWidget(pageLabel_);
    Next = add(QStringLiteral("Next"), QKeySequence(Qt::Key_PageDown), go([this] { return view_->page() + 1; }));
    Last = add(QStringLiteral("Last"), QKeySequence(Qt::CTRL | Qt::Key_End),
               go([this] { return report_.pageCount() - 1; }));
    bar->addSeparator();
    PrinterSetup = add(QStringLiteral("Printer Setup"), {}, [this] { setupPrinter(); });
    Print = add(QStringLiteral("Print"), QKeySequence::Print, [this] { printWithDialog(); });
    SavePdf = add(QStringLiteral("Save PDF"), {}, [this] { savePdfWithDialog(); });
    bar->addSeparator();
    Close = add(QStringLiteral("Close"), {}, [this] { accept(); });
    for (QAction *a : {WholePage, Actual, PageWidth})
        a->setCheckable(true);
    WholePage->setChecked(true);
    for (QAction *a : {WholePage, Actual, PageWidth})
        connect(a, &QAction::triggered, this, [this, a] {
            for (QAction *b : {WholePage, Actual, PageWidth})
                b->setChecked(a == b);
        });

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(bar);
    layout->addWidget(view_, 1);
    connect(view_, &ReportPageView::pageChanged, this, &ReportPreview::showPageNumber);
    showPageNumber();

    const QRect avail = screen() ? screen()->availableGeometry() : QRect(0, 0, 1024, 768);
    resize(std::min(avail.width() * 4 / 5, 900), avail.height() * 9 / 10);
    view_->setFocus();
}

void ReportPreview::showPageNumber()
{
    const int page = view_->page();
    const int pages = report_.pageCount();
    pageLabel_->setText(QStringLiteral("Page %1 of %2").arg(page + 1).arg(pages));
    First->setEnabled(page > 0);
    Prior->setEnabled(page > 0);
    Next->setEnabled(page + 1 < pages);
    Last->setEnabled(page + 1 < pages);
}

QPrinter &ReportPreview::printer()
{
    if (!printer_) {
        printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
        printer_->setPageSize(QPageSize(QPageSize::A4));
        printer_->setPageOrientation(QPageLayout::Portrait);
        printer_->setFullPage(true);
    }
    return *printer_;
}

void ReportPreview::setupPrinter()
{
    QPageSetupDialog dialog(&printer(), this);
    dialog.exec();
}

void ReportPreview::printWithDialog()
{
    QPrintDialog dialog(&printer(), this);
    dialog.setMinMax(1, report_.pageCount());
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, true);
    if (dialog.exec() == QDialog::Accepted)
        printTo(printer());
}

void ReportPreview::printTo(QPrinter &printer)
{
    const int pages = report_.pageCount();
    int from = 1, to = pages;
    if (printer.printRange() == QPrinter::PageRange && printer.fromPage() > 0) {
        from = std::max(1, printer.fromPage());
        to = std::min(pages, printer.toPage() > 0 ? printer.toPage() : pages);
    }
    if (from > to)
        return;
    printer.setFullPage(true); // the report keeps its own margins
    QPainter painter;
    if (!painter.begin(&printer))
        return; // the printing system has said why
    QProgressDialog progress(QStringLiteral("Printing..."), QStringLiteral("Cancel"), 0, to - from + 1, this);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(500);
    for (int page = from; page <= to; ++page) {
        if (page > from)
            printer.newPage();
        report_.paintPage(painter, page - 1);
        progress.setValue(page - from + 1);
        if (progress.wasCanceled()) {
            printer.abort();
            break;
        }
    }
    if (painter.isActive())
        painter.end();
}

void ReportPreview::savePdfWithDialog()
{
    const std::unique_ptr<QFileDialog> dialog(newFileDialog(this, QStringLiteral("Save Report")));
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setNameFilter(QStringLiteral("PDF (*.pdf)"));
    dialog->setDefaultSuffix(QStringLiteral("pdf"));
    if (dialog->exec() == QDialog::Accepted && !dialog->selectedFiles().isEmpty())
        savePdfTo(dialog->selectedFiles().constFirst());
}

bool ReportPreview::savePdfTo(const QString &fileName)
{
    Outcome saved = Outcome::success();
    {
        QProgressDialog progress(QStringLiteral("Saving the report..."), QStringLiteral("Cancel"), 0,
                                 report_.pageCount(), this);
        progress.setWindowModality(Qt::WindowModal);
        progress.setMinimumDuration(500);
        saved = writeReportPdf(report_, fileName, 0, -1, [&](int done, int) {
            progress.setValue(done);
            return !progress.wasCanceled();
        });
    }
    return saved.tellFailure(notifier_);
}

} // namespace sorrel
