#pragma once
// Rows written as they are recorded: CSV or JSON lines to a file, or any format to
// standard output ("-"). A file reaches the disk on sync(); standard output gets each
// row at once, so a reader at the other end of a pipe sees it as it is recorded. The
// XML packet goes out whole at the end, and so does a reading file (tsv or xml) named
// as the target: the window's saver writes it.

#include "base/notifier.h"
#include "cli/rowformat.h"
#include "record/readingtable.h"

#include <QByteArray>
#include <QString>

namespace sorrel::cli {

class RowWriter {
public:
    RowWriter(QString target, OutputFormat format, Notifier &notifier);
    ~RowWriter();
    RowWriter(const RowWriter &) = delete;
    RowWriter &operator=(const RowWriter &) = delete;

    static bool toStdout(const QString &target) { return target == u"-"; }

    // Creates the file (or writes the header) now, so a target that cannot be written fails at once.
    bool open();
    // False once writing failed or the reader went away.
    bool append(const StreamRow &row);
    // Puts what has come since the last call on the disk.
    bool sync();
    // The XML packet of the table; for any other format the rest of the rows.
    bool finish(const ReadingTable &table);

    // The reader of standard output went away (EPIPE): an end, not an error.
    bool readerGone() const { return readerGone_; }

private:
    bool wholeFile() const
    {
        return !toStdout(target_) && (format_ == OutputFormat::Tsv || format_ == OutputFormat::Xml);
    }
    bool writeOut(const QByteArray &bytes);
    bool writeXmlToStdout(const ReadingTable &table);
    bool failed(const QString &why);

    QString target_;
    OutputFormat format_;
    Notifier &notifier_;
    int fd_ = -1;
    QByteArray pending_;
    bool broken_ = false;
    bool readerGone_ = false;
};

} // namespace sorrel::cli
