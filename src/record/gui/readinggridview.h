#pragma once
// The grid DBGrid1: a read-only view of the reading table that selects whole rows and
// follows each appended row. It paints only the rows in sight and keeps nothing per
// row (Qt's table view keeps a header section per row and relays them out on every
// append, which grows with the table).

#include <QAbstractScrollArea>

class QHeaderView;

namespace sorrel {

class ReadingGridModel;

class ReadingGridView : public QAbstractScrollArea {
    Q_OBJECT
public:
    static constexpr int kRowHeight = 17;

    explicit ReadingGridView(QWidget *parent = nullptr);

    void setModel(ReadingGridModel *model);
    ReadingGridModel *model() const { return model_; }
    QHeaderView *header() const { return header_; }

    // The selected row (the table's current row); -1 when the table is empty.
    int currentRow() const { return currentRow_; }
    void setCurrentRow(int row);
    int firstVisibleRow() const;
    // Rows that fit in the viewport completely (at least 1).
    int visibleRowCount() const;
    bool isRowVisible(int row) const;

Q_SIGNALS:
    void currentRowChanged(int row);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void rowsAppended(int last);
    void modelReset();
    void updateGeometries();
    void updateScrollBars();
    int rowCount() const;

    ReadingGridModel *model_ = nullptr;
    QHeaderView *header_ = nullptr;
    int currentRow_ = -1;
};

} // namespace sorrel
