#pragma once
// The reading table cds1: rows of No, Time, Value, Unit in the order appended.
// No key, No not unique; texts are cut to 20 characters when stored.

#include <QString>
#include <functional>
#include <optional>
#include <vector>

namespace sorrel {

inline constexpr int kReadingTextMax = 20;

struct ReadingRow {
    std::optional<qint32> no; // a loaded row may have none
    QString time;             // empty: no value
    QString value;
    QString unit;
    bool operator==(const ReadingRow &) const = default;
};

class ReadingTable {
public:
    qsizetype rowCount() const { return qsizetype(rows_.size()); }
    bool isEmpty() const { return rows_.empty(); }
    ReadingRow row(qsizetype i) const { return rows_[size_t(i)]; }

    void append(const ReadingRow &row);
    // Room for n rows in all, so that a large load does not regrow the storage.
    void reserve(qsizetype n) { rows_.reserve(size_t(n)); }
    // Appends many rows at once (a loaded file); observers see one append.
    void appendRows(std::vector<ReadingRow> &&rows);
    void clear();
    // Replaces every row at once (a loaded XML packet); observers see one reset.
    void replaceAll(ReadingTable &&other);

    // Observers (the grid model): called after rows [first, last] were appended, and
    // after the table was emptied or replaced.
    std::function<void(qsizetype first, qsizetype last)> onRowsAppended;
    std::function<void()> onReset;

private:
    std::vector<ReadingRow> rows_;
};

} // namespace sorrel
