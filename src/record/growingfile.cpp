#include "record/growingfile.h"

#include "record/readingfiles.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace sorrel {

bool GrowingReadingFile::fail(int error)
{
    error_ = qt_error_string(error ? error : EIO);
    return false;
}

bool GrowingReadingFile::open(Mode mode)
{
    close();
    const int how = mode == Mode::Replace ? O_TRUNC : O_EXCL;
    fd_ = ::open(QFile::encodeName(fileName_).constData(), O_WRONLY | O_CREAT | O_CLOEXEC | how, 0666);
    if (fd_ < 0)
        return fail(errno);
    size_ = 0;
    pending_ = readingFileHeaderLine();
    ends_.assign(1, pending_.size());
    return true;
}

void GrowingReadingFile::append(const ReadingRow &row)
{
    pending_ += readingFileLine(row);
    ends_.push_back(pending_.size());
}

// Drops the bytes past the last row written whole; the rows not written stay pending.
void GrowingReadingFile::cutBack(qsizetype written)
{
    const auto whole = std::upper_bound(ends_.begin(), ends_.end(), written);
    const qsizetype kept = whole == ends_.begin() ? 0 : *(whole - 1);
    if (written > kept && ::ftruncate(fd_, size_ + kept) != 0)
        return; // the reason given stays the write's
    size_ += kept;
    pending_.remove(0, kept);
    ends_.erase(ends_.begin(), whole);
    for (qsizetype &end : ends_)
        end -= kept;
}

bool GrowingReadingFile::sync()
{
    if (fd_ < 0)
        return fail(EBADF);
    if (pending_.isEmpty())
        return true;
    qsizetype done = 0;
    while (done < pending_.size()) {
        const ssize_t n = ::pwrite(fd_, pending_.constData() + done, size_t(pending_.size() - done), size_ + done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int error = n < 0 ? errno : ENOSPC;
            cutBack(done);
            return fail(error);
        }
        done += n;
    }
    size_ += pending_.size();
    pending_.clear();
    ends_.clear();
    if (::fdatasync(fd_) != 0)
        return fail(errno);
    return true;
}

void GrowingReadingFile::close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

bool GrowingReadingFile::remove()
{
    close();
    if (::unlink(QFile::encodeName(fileName_).constData()) != 0)
        return fail(errno);
    return true;
}

} // namespace sorrel
