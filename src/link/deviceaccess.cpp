#include "link/deviceaccess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace sorrel {

namespace {

QString systemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// The dialout group opens serial devices, not hidraw nodes.
bool isHidrawPath(const QString &path)
{
    return QFileInfo(path).fileName().startsWith(u"hidraw");
}

bool processAlive(qint64 pid)
{
    return pid > 0 && (::kill(pid_t(pid), 0) == 0 || errno == EPERM);
}

// A lock file outlives a killed program, and its number may be another process's by
// now: QSerialPort's files also name the program, which must match.
bool lockOwnerAlive(qint64 pid, const QByteArray &app)
{
    if (!processAlive(pid))
        return false;
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    if (app.isEmpty() || !comm.open(QIODevice::ReadOnly))
        return true;
    const QByteArray name = comm.readAll().trimmed(); // at most 15 characters
    return !name.isEmpty() && app.startsWith(name);
}

} // namespace

QString DeviceFailure::detail() const
{
    const QString where = path.isEmpty() ? QStringLiteral("the device") : path;
    const QString reason = error ? systemReason(error) : QStringLiteral("cannot be opened");
    switch (problem) {
    case DeviceProblem::None:
        return {};
    case DeviceProblem::Permission:
        if (!isHidrawPath(path))
            return QStringLiteral("%1: %2. To use it without root, install the udev rule 60-sorrel.rules, "
                                  "or run 'sudo usermod -aG dialout $USER' and log in again.")
                .arg(where, reason);
        return QStringLiteral("%1: %2. To use it without root, install the udev rule 60-sorrel.rules "
                              "and plug the device in again.")
            .arg(where, reason);
    case DeviceProblem::Busy:
        if (holderPid > 0)
            return QStringLiteral("%1 is in use by another program (process %2).").arg(where).arg(holderPid);
        return QStringLiteral("%1 is in use by another program (%2).").arg(where, reason);
    case DeviceProblem::Missing:
    case DeviceProblem::Other:
        break;
    }
    return QStringLiteral("%1: %2.").arg(where, reason);
}

DeviceFailure deviceFailure(const QString &path, int error)
{
    DeviceFailure f;
    f.path = path;
    f.error = error;
    switch (error) {
    case 0:
        f.problem = DeviceProblem::None;
        break;
    case EACCES:
    case EPERM:
    case EROFS:
        f.problem = DeviceProblem::Permission;
        break;
    case EBUSY:
    case EWOULDBLOCK:
        f.problem = DeviceProblem::Busy;
        break;
    // A pulled cable: the node is gone, or it lingers without a device behind it.
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case EIO:
        f.problem = DeviceProblem::Missing;
        break;
    default:
        f.problem = DeviceProblem::Other;
        break;
    }
    if (f.problem == DeviceProblem::Busy) {
        f.holderPid = flockHolder(path);
        if (!f.holderPid)
            f.holderPid = serialLockFileHolder(path);
    }
    return f;
}

DeviceFailure probeDeviceOpen(const QString &path)
{
    if (path.isEmpty())
        return deviceFailure(path, ENOENT);
    const QByteArray p = QFile::encodeName(path);
    const int fd = ::open(p.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return deviceFailure(path, errno);
    const bool locked = lockDevice(fd);
    const int lockError = errno;
    ::close(fd); // releases the probe's own lock
    if (!locked)
        return deviceFailure(path, lockError);
    if (const qint64 pid = serialLockFileHolder(path); pid > 0 && pid != ::getpid()) {
        DeviceFailure f = deviceFailure(path, EBUSY);
        f.holderPid = pid;
        return f;
    }
    return {};
}

bool lockDevice(int fd)
{
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            return true;
        if (errno != EINTR)
            return false;
    }
}

qint64 flockHolder(const QString &path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return 0;
    QFile locks(QStringLiteral("/proc/locks"));
    if (!locks.open(QIODevice::ReadOnly | QIODevice::Text))
        return 0;
    // "1: FLOCK  ADVISORY  WRITE 4242 00:05:873 0 EOF": pid, then major:minor:inode.
    const QString id = QStringLiteral("%1:%2:%3")
                           .arg(major(st.st_dev), 2, 16, QLatin1Char('0'))
                           .arg(minor(st.st_dev), 2, 16, QLatin1Char('0'))
                           .arg(qulonglong(st.st_ino));
    // Files in /proc report a size of 0: read to the end rather than test atEnd().
    const QList<QByteArray> lines = locks.readAll().split('\n');
    for (const QByteArray &line : lines) {
        const QStringList f = QString::fromLatin1(line).simplified().split(u' ');
        if (f.size() >= 6 && f.at(1) == u"FLOCK" && f.at(5) == id)
            return f.at(4).toLongLong();
    }
    return 0;
}

namespace {

// The node a by-id link leads to, through readlink alone: umockdev's realpath() wrapper
// corrupts memory, and the tests run under it.
QString linkedNode(const QString &path)
{
    QString p = path;
    for (int hops = 0; hops < 8; ++hops) {
        const QString target = QFileInfo(p).symLinkTarget();
        if (target.isEmpty())
            return p;
        p = QDir::cleanPath(target);
    }
    return p;
}

} // namespace

qint64 serialLockFileHolder(const QString &path)
{
    // The places and names the serial tools use for their lock files.
    static const char *const dirs[] = {"/var/lock",       "/run/lock", "/etc/locks", "/var/spool/locks",
                                       "/var/spool/uucp", "/tmp",      "/var/tmp"};
    // "LCK..ttyUSB0"; QSerialPort names a node below /dev/pts "LCK..pts_3". A by-id
    // link is locked under the name of the node it leads to.
    QStringList files;
    for (const QString &p : {path, linkedNode(path)}) {
        if (p.isEmpty())
            continue;
        QString flat = p.startsWith(u"/dev/") ? p.mid(5) : p;
        flat.replace(u'/', u'_');
        files << QFileInfo(p).fileName() << flat;
    }
    files.removeDuplicates();
    for (const char *dir : dirs) {
        for (const QString &file : files) {
            QFile lock(QString::fromLatin1(dir) + QStringLiteral("/LCK..") + file);
            if (!lock.open(QIODevice::ReadOnly))
                continue;
            const qint64 pid = lock.readLine().trimmed().toLongLong();
            const QByteArray app = lock.readLine().trimmed();
            if (lockOwnerAlive(pid, app))
                return pid;
        }
    }
    return 0;
}

bool canOpenReadWrite(const QString &path)
{
    return ::access(QFile::encodeName(path).constData(), R_OK | W_OK) == 0;
}

} // namespace sorrel
