#include "cli/rowwriter.h"

#include "cli/recording.h"
#include "record/readingfiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace sorrel::cli {

RowWriter::RowWriter(QString target, OutputFormat format, Notifier &notifier)
    : target_(std::move(target)), format_(format), notifier_(notifier)
{}

RowWriter::~RowWriter()
{
    if (fd_ > STDERR_FILENO)
        ::close(fd_);
}

bool RowWriter::open()
{
    if (wholeFile())
        return true;
    if (toStdout(target_)) {
        fd_ = STDOUT_FILENO;
    } else {
        fd_ = ::open(QFile::encodeName(target_).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd_ < 0)
            return failed(QString::fromLocal8Bit(std::strerror(errno)));
    }
    if (format_ == OutputFormat::Csv)
        pending_ = csvHeaderLine();
    else if (format_ == OutputFormat::Tsv)
        pending_ = readingFileHeaderLine();
    return sync();
}

bool RowWriter::append(const StreamRow &row)
{
    if (broken_)
        return false;
    switch (format_) {
    case OutputFormat::Csv:
        pending_ += csvLine(row);
        break;
    case OutputFormat::Jsonl:
        pending_ += jsonObject(row) + '\n';
        break;
    case OutputFormat::Tsv:
        pending_ += readingFileLine(row.row);
        break;
    case OutputFormat::Xml:
        return true;
    }
    if (wholeFile()) {
        pending_.clear();
        return true;
    }
    return toStdout(target_) ? sync() : true;
}

bool RowWriter::sync()
{
    if (broken_)
        return false;
    if (pending_.isEmpty())
        return true;
    if (!writeOut(pending_))
        return false;
    pending_.clear();
    if (!toStdout(target_))
        ::fdatasync(fd_);
    return true;
}

bool RowWriter::finish(const ReadingTable &table)
{
    if (wholeFile())
        return SaveReadingFile(table, target_).tellFailure(notifier_);
    if (format_ == OutputFormat::Xml && !broken_)
        return writeXmlToStdout(table);
    const bool ok = sync();
    if (fd_ > STDERR_FILENO && ::close(fd_) != 0 && ok)
        return failed(QString::fromLocal8Bit(std::strerror(errno)));
    fd_ = -1;
    return ok;
}

bool RowWriter::writeOut(const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd_, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            broken_ = true;
            if (errno == EPIPE && toStdout(target_)) {
                readerGone_ = true;
                return false;
            }
            return failed(QString::fromLocal8Bit(std::strerror(errno)));
        }
        done += n;
    }
    return true;
}

// The packet is written by the window's saver, to a file first.
bool RowWriter::writeXmlToStdout(const ReadingTable &table)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("packet.xml"));
    if (!dir.isValid() || !SaveReadingFile(table, file).tellFailure(notifier_))
        return false;
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return failed(f.errorString());
    while (!f.atEnd())
        if (!writeOut(f.read(1 << 16)))
            return readerGone_;
    return true;
}

bool RowWriter::failed(const QString &why)
{
    broken_ = true;
    const QString name = toStdout(target_) ? QStringLiteral("standard output") : QDir::toNativeSeparators(target_);
    notifier_.error(QStringLiteral("Could not save table to specified file: %1 (%2)").arg(name, why));
    return false;
}

} // namespace sorrel::cli
