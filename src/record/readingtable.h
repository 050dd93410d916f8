#pragma once
// The reading table cds1: rows of No, Time, Value, Unit in the order appended.
// No key, No not unique; texts are cut to 20 characters when stored.
//
// Rows are kept packed (16 bytes each): the texts of a run repeat endlessly (a few
// hundred values, one unit, one time per second), so each distinct text is stored
// once and a row holds its number and three text ids.

#include "record/chunkedvector.h"

#include <QHash>
#include <QObject>
#include <QString>
#include <optional>
#include <vector>

namespace sorrel {

inline constexpr int kReadingTextMax = 20;

// Rows of the table come in blocks of 2^this (1 MiB). The loader fuzzers build with
// small blocks, so that a table of a few rows per input does not cost a megabyte.
#ifdef SORREL_ROW_BLOCK_BITS
inline constexpr int kRowBlockBits = SORREL_ROW_BLOCK_BITS;
#else
inline constexpr int kRowBlockBits = 16;
#endif

struct ReadingRow {
    std::optional<qint32> no; // a loaded row may have none
    QString time;             // empty: no value
    QString value;
    QString unit;
    bool operator==(const ReadingRow &) const = default;
};

// The first kReadingTextMax characters of text; a character is a code point, so a
// cut never leaves half a surrogate pair behind.
QString cutReadingText(const QString &text);

class ReadingTable : public QObject {
    Q_OBJECT
public:
    explicit ReadingTable(QObject *parent = nullptr);

    qsizetype rowCount() const { return rows_.size(); }
    bool isEmpty() const { return rows_.empty(); }
    ReadingRow row(qsizetype i) const;

    // One field of row i, without building the whole row (the grid asks per cell).
    std::optional<qint32> no(qsizetype i) const;
    QString time(qsizetype i) const { return pool_.text(rows_[i].time & kIdMask); }
    QString value(qsizetype i) const { return pool_.text(rows_[i].value); }
    QString unit(qsizetype i) const { return pool_.text(rows_[i].unit); }

    void append(const ReadingRow &row);
    void clear();

    // The row as stored, for code that walks every row (saving, loading): texts as ids
    // into text(id), id 0 the empty text. Ids stay valid and keep their text until the
    // table is emptied or replaced, which changes generation().
    struct StoredRow {
        std::optional<qint32> no;
        quint32 time = 0;
        quint32 value = 0;
        quint32 unit = 0;
    };
    StoredRow storedRow(qsizetype i) const
    {
        const PackedRow &r = rows_[i];
        return StoredRow{(r.time & kNoAbsent) ? std::nullopt : std::optional<qint32>(r.no), r.time & kIdMask,
                         r.value, r.unit};
    }
    const QString &text(quint32 id) const { return pool_.text(id); }
    // Id of text (cut as append() cuts it), stored now if new.
    quint32 intern(const QString &text) { return pool_.intern(cutReadingText(text)); }
    // Appends a row whose ids came from intern() or storedRow() of this table.
    void appendStored(const StoredRow &row);
    quint64 generation() const { return generation_; }
    // Replaces every row at once (a loaded XML packet); observers see one reset.
    void replaceAll(ReadingTable &&other);

    // Holds back rowsAppended while it lives and reports the rows appended meanwhile
    // in one call at its end (a file load appending thousands of rows). Nests.
    class Batch {
    public:
        explicit Batch(ReadingTable &table);
        ~Batch();
        Batch(const Batch &) = delete;
        Batch &operator=(const Batch &) = delete;

    private:
        ReadingTable &table_;
    };

    // Distinct texts held (for memory figures).
    qsizetype distinctTexts() const { return pool_.size(); }

Q_SIGNALS:
    // Rows [first, last] were appended.
    void rowsAppended(qsizetype first, qsizetype last);
    // The table was emptied or replaced.
    void reset();

private:
    // Each distinct text once; id 0 is the empty text.
    class TextPool {
    public:
        TextPool();
        quint32 intern(const QString &text);
        const QString &text(quint32 id) const { return texts_[id]; }
        qsizetype size() const { return qsizetype(texts_.size()); }
        void clear();

    private:
        std::vector<QString> texts_;
        QHash<QString, quint32> ids_;
    };

    // Bit 31 of time: the row has no No. Pool ids never reach it.
    static constexpr quint32 kNoAbsent = 0x80000000u;
    static constexpr quint32 kIdMask = 0x7fffffffu;
    struct PackedRow {
        qint32 no;
        quint32 time;
        quint32 value;
        quint32 unit;
    };
    static_assert(sizeof(PackedRow) == 16);

    void notifyAppended(qsizetype first);

    ChunkedVector<PackedRow, kRowBlockBits> rows_;
    TextPool pool_;
    quint64 generation_ = 0;
    int batchDepth_ = 0;
    qsizetype batchFirst_ = -1; // first row appended under the open batch, -1: none
};

} // namespace sorrel
