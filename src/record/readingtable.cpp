#include "record/readingtable.h"

namespace sorrel {

QString cutReadingText(const QString &text)
{
    if (text.size() <= kReadingTextMax)
        return text;
    qsizetype end = 0;
    for (int n = 0; n < kReadingTextMax && end < text.size(); ++n) {
        const bool pair = text.at(end).isHighSurrogate() && end + 1 < text.size()
                          && text.at(end + 1).isLowSurrogate();
        end += pair ? 2 : 1;
    }
    return text.left(end);
}

ReadingTable::TextPool::TextPool()
{
    clear();
}

void ReadingTable::TextPool::clear()
{
    texts_.clear();
    texts_.shrink_to_fit();
    ids_.clear();
    ids_.squeeze();
    texts_.emplace_back();
}

quint32 ReadingTable::TextPool::intern(const QString &text)
{
    if (text.isEmpty())
        return 0;
    const auto it = ids_.constFind(text);
    if (it != ids_.constEnd())
        return *it;
    const auto id = quint32(texts_.size());
    Q_ASSERT(id <= kIdMask);
    texts_.push_back(text);
    ids_.insert(text, id);
    return id;
}

ReadingTable::ReadingTable(QObject *parent) : QObject(parent)
{}

ReadingRow ReadingTable::row(qsizetype i) const
{
    return ReadingRow{no(i), time(i), value(i), unit(i)};
}

std::optional<qint32> ReadingTable::no(qsizetype i) const
{
    const PackedRow &r = rows_[i];
    if (r.time & kNoAbsent)
        return std::nullopt;
    return r.no;
}

void ReadingTable::append(const ReadingRow &row)
{
    appendStored(StoredRow{row.no, intern(row.time), intern(row.value), intern(row.unit)});
}

void ReadingTable::appendStored(const StoredRow &row)
{
    Q_ASSERT(row.time < quint32(pool_.size()) && row.value < quint32(pool_.size())
             && row.unit < quint32(pool_.size()));
    rows_.push_back(PackedRow{row.no.value_or(0), row.time | (row.no ? 0u : kNoAbsent), row.value, row.unit});
    notifyAppended(rowCount() - 1);
}

void ReadingTable::notifyAppended(qsizetype first)
{
    if (batchDepth_ > 0) {
        if (batchFirst_ < 0)
            batchFirst_ = first;
        return;
    }
    Q_EMIT rowsAppended(first, rowCount() - 1);
}

void ReadingTable::clear()
{
    rows_.clear();
    pool_.clear();
    ++generation_;
    batchFirst_ = -1;
    Q_EMIT reset();
}

void ReadingTable::replaceAll(ReadingTable &&other)
{
    if (&other == this)
        return;
    rows_ = std::move(other.rows_);
    pool_ = std::move(other.pool_);
    other.rows_.clear();
    other.pool_.clear();
    ++generation_;
    ++other.generation_;
    batchFirst_ = -1;
    Q_EMIT reset();
}

ReadingTable::Batch::Batch(ReadingTable &table) : table_(table)
{
    ++table_.batchDepth_;
}

ReadingTable::Batch::~Batch()
{
    if (--table_.batchDepth_ > 0)
        return;
    const qsizetype first = table_.batchFirst_;
    table_.batchFirst_ = -1;
    if (first >= 0 && first < table_.rowCount())
        Q_EMIT table_.rowsAppended(first, table_.rowCount() - 1);
}

} // namespace sorrel
