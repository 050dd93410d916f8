#include "record/gui/readinggridmodel.h"

#include "base/fonts.h"

#include <limits>

namespace sorrel {

namespace {
// Views count rows in int; rows past that stay in the table but out of the grid.
int viewRows(qsizetype n)
{
    return int(std::min<qsizetype>(n, std::numeric_limits<int>::max()));
}
} // namespace

ReadingGridModel::ReadingGridModel(ReadingTable &table, QObject *parent)
    : QAbstractTableModel(parent), table_(&table), shownRows_(viewRows(table.rowCount()))
{
    unitFont_ = arialPoints(9);

    connect(&table, &ReadingTable::rowsAppended, this, [this](qsizetype, qsizetype last) {
        const int newRows = viewRows(last + 1);
        if (newRows <= shownRows_)
            return;
        beginInsertRows({}, shownRows_, newRows - 1);
        shownRows_ = newRows;
        endInsertRows();
    });
    connect(&table, &ReadingTable::reset, this, [this] {
        beginResetModel();
        shownRows_ = viewRows(table_->rowCount());
        endResetModel();
    });
}

void ReadingGridModel::detach()
{
    if (!table_)
        return;
    beginResetModel();
    disconnect(table_, nullptr, this, nullptr);
    table_ = nullptr;
    shownRows_ = 0;
    endResetModel();
}

int ReadingGridModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : shownRows_;
}

int ReadingGridModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

Qt::Alignment ReadingGridModel::columnAlignment(int column)
{
    return column == Time ? Qt::AlignCenter : (Qt::AlignRight | Qt::AlignVCenter);
}

QString ReadingGridModel::cellText(int row, int column) const
{
    if (!table_ || row < 0 || row >= shownRows_)
        return {};
    switch (column) {
    case No: {
        const auto no = table_->no(row);
        return no ? QString::number(*no) : QString();
    }
    case Time:
        return table_->time(row);
    case Value:
        return table_->value(row);
    case Unit:
        return table_->unit(row);
    default:
        return {};
    }
}

QVariant ReadingGridModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= shownRows_ || index.column() >= ColumnCount)
        return {};
    switch (role) {
    case Qt::DisplayRole:
        if (index.column() == No && table_) {
            const auto no = table_->no(index.row());
            return no ? QVariant(*no) : QVariant();
        }
        return cellText(index.row(), index.column());
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(columnAlignment(index.column()));
    case Qt::FontRole:
        if (index.column() == Unit)
            return unitFont_;
        return {};
    default:
        return {};
    }
}

QVariant ReadingGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (role == Qt::DisplayRole) {
        static const char *const names[ColumnCount] = {"No", "Time", "Value", "Unit"};
        return QString::fromLatin1(names[section]);
    }
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    return {};
}

Qt::ItemFlags ReadingGridModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

} // namespace sorrel
