#include "record/readingtable.h"

namespace sorrel {

void ReadingTable::append(const ReadingRow &row)
{
    ReadingRow r = row;
    r.time.truncate(kReadingTextMax);
    r.value.truncate(kReadingTextMax);
    r.unit.truncate(kReadingTextMax);
    rows_.push_back(std::move(r));
    if (onRowsAppended)
        onRowsAppended(rowCount() - 1, rowCount() - 1);
}

void ReadingTable::appendRows(std::vector<ReadingRow> &&rows)
{
    if (rows.empty())
        return;
    const qsizetype first = rowCount();
    for (ReadingRow &r : rows) {
        r.time.truncate(kReadingTextMax);
        r.value.truncate(kReadingTextMax);
        r.unit.truncate(kReadingTextMax);
        rows_.push_back(std::move(r));
    }
    rows.clear();
    if (onRowsAppended)
        onRowsAppended(first, rowCount() - 1);
}

void ReadingTable::clear()
{
    rows_.clear();
    if (onReset)
        onReset();
}

void ReadingTable::replaceAll(ReadingTable &&other)
{
    rows_ = std::move(other.rows_);
    other.rows_.clear();
    if (onReset)
        onReset();
}

} // namespace sorrel
