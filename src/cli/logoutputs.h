#pragma once
// Where sorrel-cli log puts its rows: the reading file of --out, or the row writer for
// CSV, JSON lines and standard output.

#include "base/notifier.h"
#include "cli/logoptions.h"
#include "cli/rowformat.h"
#include "cli/rowwriter.h"
#include "record/growingfile.h"
#include "record/readingtable.h"

#include <QString>
#include <optional>

namespace sorrel::cli {

// The tab-separated file grows a row at a time and reaches the disk once a second. The
// XML packet is written whole at the end, replacing the target only when complete; until
// then its rows grow in a tab-separated journal beside it, so that a full disk or a kill
// loses at most the last second.
class OutputFile {
public:
    OutputFile(QString fileName, bool xml, Notifier &notifier);
    // A journal without rows would only stop the next run: a run that ends early drops it.
    ~OutputFile();
    OutputFile(const OutputFile &) = delete;
    OutputFile &operator=(const OutputFile &) = delete;

    static QString journalName(const QString &target) { return target + QStringLiteral(".journal"); }

    // Creates the file now, so that a name that cannot be written fails at once.
    bool open();
    void appendRow(const ReadingRow &row);
    // Puts what has come since the last call on the disk.
    bool sync();
    bool finish(const ReadingTable &table);

private:
    bool failed(const QString &fileName, const QString &why);

    QString fileName_;
    bool xml_;
    Notifier &notifier_;
    GrowingReadingFile rows_;  // the log itself, or the XML's journal
    bool journalOpen_ = false; // made by this run and still on disk
    qint64 rowCount_ = 0;
};

class RowOutputs {
public:
    RowOutputs(const LogRun &run, Notifier &notifier);
    bool open() { return file_ ? file_->open() : !writer_ || writer_->open(); }
    bool append(const StreamRow &row)
    {
        if (file_)
            file_->appendRow(row.row);
        return !writer_ || writer_->append(row);
    }
    bool sync() { return file_ ? file_->sync() : !writer_ || writer_->sync(); }
    bool finish(const ReadingTable &table)
    {
        return file_ ? file_->finish(table) : !writer_ || writer_->finish(table);
    }
    bool readerGone() const { return writer_ && writer_->readerGone(); }

private:
    std::optional<OutputFile> file_;
    std::optional<RowWriter> writer_;
};

} // namespace sorrel::cli
