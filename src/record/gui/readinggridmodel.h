#pragma once
// The reading table as a read-only Qt table model for the grid DBGrid1. It holds no
// copy of the rows: each cell is read from the table when the view asks, so the
// model costs nothing per row.

#include "record/readingtable.h"

#include <QAbstractTableModel>
#include <QFont>

namespace sorrel {

class ReadingGridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { No, Time, Value, Unit, ColumnCount };
    static constexpr int kColumnWidths[ColumnCount] = {80, 100, 100, 70};

    // Observes table from now on (alongside any other listener).
    explicit ReadingGridModel(ReadingTable &table, QObject *parent = nullptr);
    // Stops observing: the window calls it before the table goes.
    void detach();

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    static Qt::Alignment columnAlignment(int column);
    // The text of one cell, as the grid draws it.
    QString cellText(int row, int column) const;

    void setUnitFont(const QFont &font) { unitFont_ = font; }

private:
    ReadingTable *table_;
    int shownRows_ = 0; // rows announced to the views so far
    QFont unitFont_;
};

} // namespace sorrel
