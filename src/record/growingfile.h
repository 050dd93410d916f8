#pragma once
// The tab-separated reading file grown a row at a time, as an unattended logger writes
// it: each row reaches the file whole or not at all, so the window's loader never meets
// a torn last row.

#include "record/readingtable.h"

#include <QString>

#include <vector>

namespace sorrel {

class GrowingReadingFile {
public:
    enum class Mode {
        Replace,   // an existing file is emptied
        CreateNew, // an existing file is left alone and open() fails
    };

    explicit GrowingReadingFile(QString fileName) : fileName_(std::move(fileName)) {}
    ~GrowingReadingFile() { close(); }
    GrowingReadingFile(const GrowingReadingFile &) = delete;
    GrowingReadingFile &operator=(const GrowingReadingFile &) = delete;

    // Creates the file; the header line follows with the first sync().
    bool open(Mode mode);
    // Kept in memory until the next sync().
    void append(const ReadingRow &row);
    // Puts the rows appended since the last call on the disk. A write that stops short
    // (a full disk) cuts the file back to its last complete row; the rows not written
    // stay for the next call.
    bool sync();
    void close();
    bool remove();

    const QString &fileName() const { return fileName_; }
    // The system's reason for the last failure.
    QString errorString() const { return error_; }

private:
    bool fail(int error);
    void cutBack(qsizetype written);

    QString fileName_;
    int fd_ = -1;
    qint64 size_ = 0; // bytes of complete rows in the file
    QByteArray pending_;
    std::vector<qsizetype> ends_; // where each pending row ends
    QString error_;
};

} // namespace sorrel
