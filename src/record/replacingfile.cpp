#include "record/replacingfile.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sorrel {

namespace {

constexpr qsizetype kBufferBytes = 64 * 1024;
constexpr int kRandomChars = 6;
const char kSuffix[] = ".saving";

QByteArray encoded(const QString &name)
{
    return QFile::encodeName(name);
}

// The file the name stands for: a link is written through, as an editor does.
QString resolved(const QString &name)
{
    const QFileInfo info(name);
    return info.isSymLink() ? info.symLinkTarget() : name;
}

int openFlags()
{
    return O_WRONLY | O_CLOEXEC;
}

} // namespace

ReplacingFile::ReplacingFile(const QString &target) : target_(resolved(target))
{}

ReplacingFile::~ReplacingFile()
{
    discard();
}

bool ReplacingFile::isLeftover(const QString &target, const QString &entry)
{
    const QString base = QFileInfo(target).fileName() + u'.';
    const qsizetype suffix = qsizetype(std::strlen(kSuffix));
    if (entry.size() != base.size() + kRandomChars + suffix || !entry.startsWith(base)
        || !entry.endsWith(QLatin1String(kSuffix)))
        return false;
    const QStringView random = QStringView(entry).mid(base.size(), kRandomChars);
    return std::all_of(random.begin(), random.end(), [](QChar c) {
        return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9');
    });
}

void ReplacingFile::removeLeftovers() const
{
    const QFileInfo info(target_);
    QDir dir = info.dir();
    // Each entry is matched here: the name may hold wildcard characters.
    for (const QString &entry : dir.entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::NoSort))
        if (isLeftover(target_, entry))
            dir.remove(entry);
}

QString ReplacingFile::freshTempName() const
{
    static const char chars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QString random;
    for (int i = 0; i < kRandomChars; ++i)
        random += QLatin1Char(chars[QRandomGenerator::global()->bounded(int(sizeof chars - 1))]);
    return target_ + u'.' + random + QLatin1String(kSuffix);
}

bool ReplacingFile::fail(int error)
{
    if (!error_)
        error_ = error ? error : EIO;
    setErrorString(qt_error_string(error_));
    return false;
}

bool ReplacingFile::open(OpenMode mode)
{
    if (fd_ >= 0 || (mode & ~(WriteOnly | Truncate | Unbuffered)) || !(mode & WriteOnly))
        return fail(EINVAL);
    struct stat old {};
    const bool exists = ::stat(encoded(target_).constData(), &old) == 0;
    if (exists && ::access(encoded(target_).constData(), W_OK) != 0)
        return fail(errno);
    removeLeftovers();
    const mode_t perm = exists ? (old.st_mode & 07777) : 0666;
    const QByteArray dir = encoded(QFileInfo(target_).absolutePath());
    fd_ = ::open(dir.constData(), O_TMPFILE | openFlags(), perm);
    // Not every filesystem has unnamed files; a named one then lives until the rename.
    bool tryNamed = fd_ < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL);
    for (int tries = 0; tryNamed && tries < 100; ++tries) {
        const QString name = freshTempName();
        fd_ = ::open(encoded(name).constData(), O_CREAT | O_EXCL | openFlags(), perm);
        if (fd_ >= 0)
            tempName_ = name;
        tryNamed = fd_ < 0 && errno == EEXIST;
    }
    if (fd_ < 0)
        return fail(errno);
    // The umask must not narrow an existing file's permissions.
    if (exists)
        ::fchmod(fd_, perm);
    error_ = 0;
    buffer_.reserve(kBufferBytes);
    return QIODevice::open(WriteOnly | Unbuffered);
}

bool ReplacingFile::writeOut(const char *data, qint64 len)
{
    while (len > 0) {
        const ssize_t n = ::write(fd_, data, size_t(len));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return fail(n < 0 ? errno : ENOSPC);
        data += n;
        len -= n;
    }
    return true;
}

bool ReplacingFile::flushBuffer()
{
    const bool ok = error_ == 0 && writeOut(buffer_.constData(), buffer_.size());
    buffer_.clear();
    return ok;
}

qint64 ReplacingFile::writeData(const char *data, qint64 len)
{
    if (error_)
        return -1;
    if (buffer_.size() + len > kBufferBytes && !flushBuffer())
        return -1;
    if (len >= kBufferBytes)
        return writeOut(data, len) ? len : -1;
    buffer_.append(data, len);
    return len;
}

bool ReplacingFile::putInPlace()
{
    const QByteArray target = encoded(target_);
    if (tempName_.isEmpty()) {
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd_);
        for (int tries = 0; tempName_.isEmpty(); ++tries) {
            const QString name = freshTempName();
            if (::linkat(AT_FDCWD, self.constData(), AT_FDCWD, encoded(name).constData(), AT_SYMLINK_FOLLOW) == 0)
                tempName_ = name;
            else if (errno != EEXIST || tries > 100)
                return fail(errno);
        }
    }
    if (::rename(encoded(tempName_).constData(), target.constData()) != 0)
        return fail(errno);
    tempName_.clear();
    // The new name on the disk too, not only the new contents.
    const int dir = ::open(encoded(QFileInfo(target_).absolutePath()).constData(),
                           O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

bool ReplacingFile::commit()
{
    if (fd_ < 0)
        return fail(EBADF);
    bool ok = flushBuffer();
    if (ok && ::fsync(fd_) != 0)
        ok = fail(errno);
    ok = ok && putInPlace();
    if (ok) {
        ::close(fd_);
        fd_ = -1;
        QIODevice::close();
        return true;
    }
    const int error = error_;
    discard();
    error_ = error;
    setErrorString(qt_error_string(error_));
    return false;
}

void ReplacingFile::discard()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    if (!tempName_.isEmpty())
        ::unlink(encoded(tempName_).constData());
    tempName_.clear();
    buffer_.clear();
    if (isOpen())
        QIODevice::close();
}

Outcome writeReplacing(const QString &fileName, const std::function<bool(ReplacingFile &)> &body)
{
    ReplacingFile file(fileName);
    if (file.open() && body(file) && file.commit())
        return Outcome::success();
    Outcome failed = Outcome::failure(QString(), file.errorString());
    file.discard();
    return failed;
}

} // namespace sorrel
