#include "record/gui/readinggridview.h"

#include "base/fonts.h"
#include "record/elidedtext.h"
#include "record/gui/readinggridmodel.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>

namespace sorrel {

ReadingGridView::ReadingGridView(QWidget *parent) : QAbstractScrollArea(parent)
{
    setFont(arialPoints(9, Bold::No));
    setFocusPolicy(Qt::StrongFocus);
    setFrameShape(QFrame::StyledPanel);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    verticalScrollBar()->setSingleStep(1);

    header_ = new QHeaderView(Qt::Horizontal, this);
    QFont titles(QStringLiteral("MS Sans Serif"));
    titles.setStyleHint(QFont::SansSerif);
    titles.setPointSize(8);
    titles.setBold(false);
    header_->setFont(titles);
    header_->setSectionsClickable(false);
    header_->setHighlightSections(false);
    header_->setStretchLastSection(false);
    header_->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    connect(header_, &QHeaderView::sectionResized, this, [this] {
        updateScrollBars();
        viewport()->update();
    });
}

void ReadingGridView::setModel(ReadingGridModel *model)
{
    if (model_)
        disconnect(model_, nullptr, this, nullptr);
    model_ = model;
    header_->setModel(model);
    if (model) {
        header_->setSectionResizeMode(QHeaderView::Interactive);
        for (int c = 0; c < ReadingGridModel::ColumnCount; ++c)
            header_->resizeSection(c, ReadingGridModel::kColumnWidths[c]);
        connect(model, &QAbstractItemModel::rowsInserted, this,
                [this](const QModelIndex &, int, int last) { rowsAppended(last); });
        connect(model, &QAbstractItemModel::modelReset, this, [this] { modelReset(); });
    }
    modelReset();
    updateGeometries();
}

int ReadingGridView::rowCount() const
{
    return model_ ? model_->rowCount() : 0;
}

int ReadingGridView::firstVisibleRow() const
{
    return verticalScrollBar()->value();
}

int ReadingGridView::visibleRowCount() const
{
    return qMax(1, viewport()->height() / kRowHeight);
}

bool ReadingGridView::isRowVisible(int row) const
{
    const int first = firstVisibleRow();
    return row >= first && row < first + visibleRowCount();
}

void ReadingGridView::setCurrentRow(int row)
{
    const int n = rowCount();
    row = n == 0 ? -1 : qBound(0, row, n - 1);
    if (row >= 0) {
        if (row < firstVisibleRow())
            verticalScrollBar()->setValue(row);
        else if (row >= firstVisibleRow() + visibleRowCount())
            verticalScrollBar()->setValue(row - visibleRowCount() + 1);
    }
    if (row == currentRow_)
        return;
    currentRow_ = row;
    viewport()->update();
    Q_EMIT currentRowChanged(row);
}

void ReadingGridView::rowsAppended(int last)
{
    updateScrollBars();
    setCurrentRow(last);
    viewport()->update();
}

void ReadingGridView::modelReset()
{
    updateScrollBars();
    verticalScrollBar()->setValue(0);
    currentRow_ = -2; // forces the signal
    setCurrentRow(0);
    viewport()->update();
}

void ReadingGridView::updateScrollBars()
{
    const int visible = visibleRowCount();
    QScrollBar *v = verticalScrollBar();
    v->setPageStep(visible);
    v->setRange(0, qMax(0, rowCount() - visible));
    QScrollBar *h = horizontalScrollBar();
    h->setPageStep(viewport()->width());
    h->setRange(0, qMax(0, header_->length() - viewport()->width()));
}

void ReadingGridView::updateGeometries()
{
    const int headerHeight = qMax(header_->sizeHint().height(), 18);
    setViewportMargins(0, headerHeight, 0, 0);
    const QRect vg = viewport()->geometry();
    header_->setGeometry(vg.left(), vg.top() - headerHeight, vg.width(), headerHeight);
    updateScrollBars();
}

void ReadingGridView::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateGeometries();
}

void ReadingGridView::changeEvent(QEvent *event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange && header_)
        updateGeometries();
}

void ReadingGridView::scrollContentsBy(int, int)
{
    header_->setOffset(horizontalScrollBar()->value());
    viewport()->update();
}

void ReadingGridView::paintEvent(QPaintEvent *)
{
    QPainter p(viewport());
    const QPalette &pal = palette();
    p.fillRect(viewport()->rect(), pal.base());
    if (!model_)
        return;
    const int first = firstVisibleRow();
    const int rows = qMax(0, qMin(rowCount() - first, viewport()->height() / kRowHeight + 1));
    const QColor lines = pal.color(QPalette::Mid);
    for (int i = 0; i < rows; ++i) {
        const int r = first + i;
        const int y = i * kRowHeight;
        const bool selected = r == currentRow_;
        if (selected)
            p.fillRect(QRect(0, y, header_->length() - header_->offset(), kRowHeight),
                       pal.brush(hasFocus() ? QPalette::Active : QPalette::Inactive, QPalette::Highlight));
        p.setPen(selected ? pal.color(QPalette::HighlightedText) : pal.color(QPalette::Text));
        for (int c = 0; c < ReadingGridModel::ColumnCount; ++c) {
            const int x = header_->sectionViewportPosition(c);
            const int w = header_->sectionSize(c);
            if (c == ReadingGridModel::Unit)
                p.setFont(model_->data(model_->index(r, c), Qt::FontRole).value<QFont>());
            else
                p.setFont(font());
            drawElidedText(p, QRect(x + 2, y, w - 4, kRowHeight), ReadingGridModel::columnAlignment(c),
                           model_->cellText(r, c));
        }
    }
    // Row and column lines.
    p.setPen(lines);
    const int bottom = rows * kRowHeight;
    for (int i = 1; i <= rows; ++i)
        p.drawLine(0, i * kRowHeight - 1, header_->length() - header_->offset(), i * kRowHeight - 1);
    for (int c = 0; c < ReadingGridModel::ColumnCount; ++c) {
        const int x = header_->sectionViewportPosition(c) + header_->sectionSize(c) - 1;
        p.drawLine(x, 0, x, bottom);
    }
}

void ReadingGridView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    const int row = firstVisibleRow() + int(event->position().y()) / kRowHeight;
    if (row < rowCount())
        setCurrentRow(row);
    event->accept();
}

void ReadingGridView::mouseReleaseEvent(QMouseEvent *event)
{
    event->accept();
}

void ReadingGridView::keyPressEvent(QKeyEvent *event)
{
    const int page = visibleRowCount();
    switch (event->key()) {
    case Qt::Key_Up:
        setCurrentRow(currentRow_ - 1);
        break;
    case Qt::Key_Down:
        setCurrentRow(currentRow_ + 1);
        break;
    case Qt::Key_PageUp:
        setCurrentRow(currentRow_ - page);
        break;
    case Qt::Key_PageDown:
        setCurrentRow(currentRow_ + page);
        break;
    case Qt::Key_Home:
        setCurrentRow(0);
        break;
    case Qt::Key_End:
        setCurrentRow(rowCount() - 1);
        break;
    default:
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    event->accept();
}

} // namespace sorrel
