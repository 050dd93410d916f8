#include "link/ttybridgeapi.h"

#include <QFile>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <optional>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace sorrel {

namespace {

speed_t speedFor(quint32 baud, bool *ok)
{
    *ok = true;
    switch (baud) {
    case 1200:
        return B1200;
    case 2400:
        return B2400;
    case 4800:
        return B4800;
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    case 115200:
        return B115200;
    case 230400:
        return B230400;
    case 460800:
        return B460800;
    case 921600:
        return B921600;
    default:
        *ok = false;
        return B0;
    }
}

} // namespace

struct TtyBridgeApi::Port {
    QString path;
    int fd = -1;
    int wake = -1; // eventfd that ends the reader
    std::thread reader;

    BridgeFramer::Clock clock;
    mutable std::mutex m;
    BridgeFramer framer;
    // When the read SI_Read last returned completed; unset after a read that found none.
    std::optional<BridgeFramer::TimePoint> lastReadCompleted;
    bool lost = false;
    std::atomic<quint32> chunk{32};
    std::shared_ptr<std::atomic<quint32>> readTimeoutMs;

    std::chrono::milliseconds timeout() const { return std::chrono::milliseconds(readTimeoutMs->load()); }

    int waitMs()
    {
        std::lock_guard lock(m);
        return framer.waitMs(clock(), timeout());
    }

    void run()
    {
        char buf[4096];
        for (;;) {
            pollfd fds[2] = {{fd, POLLIN, 0}, {wake, POLLIN, 0}};
            const int r = ::poll(fds, 2, waitMs());
            if (r < 0) {
                if (errno == EINTR)
                    continue;
                markLost();
                return;
            }
            if (r == 0) {
                // The kernel found the line empty for the whole wait: a real pause.
                std::lock_guard lock(m);
                framer.quiet(clock(), timeout());
                continue;
            }
            if (fds[1].revents)
                return;
            if (fds[0].revents & POLLNVAL) {
                markLost();
                return;
            }
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
                // Nothing to read on a line that reports trouble would wake poll forever.
                if (fds[0].revents & (POLLHUP | POLLERR)) {
                    markLost();
                    return;
                }
                continue;
            }
            if (n <= 0) {
                // The device went away (hang-up or I/O error): stop watching it, so that
                // a pulled cable costs nothing until the bridge is closed.
                markLost();
                return;
            }
            take(buf, size_t(n));
        }
    }

    void take(const char *bytes, size_t n)
    {
        const auto arrived = clock();
        std::lock_guard lock(m);
        framer.take(QByteArrayView(bytes, qsizetype(n)), arrived, qsizetype(chunk.load()));
    }

    void markLost()
    {
        std::lock_guard lock(m);
        lost = true;
    }

    void stop()
    {
        if (reader.joinable()) {
            const quint64 one = 1;
            [[maybe_unused]] ssize_t w = ::write(wake, &one, sizeof one);
            reader.join();
        }
        if (fd >= 0)
            ::close(fd);
        if (wake >= 0)
            ::close(wake);
        fd = wake = -1;
    }
};

TtyBridgeApi::TtyBridgeApi(Locator locate, BridgeFramer::Clock clock)
    : locate_(std::move(locate)),
      clock_(clock ? std::move(clock) : BridgeFramer::Clock(&std::chrono::steady_clock::now)),
      readTimeoutMs_(std::make_shared<std::atomic<quint32>>(10))
{}

TtyBridgeApi::~TtyBridgeApi()
{
    for (auto &[h, port] : ports_)
        port->stop();
}

int TtyBridgeApi::SI_GetNumDevices(quint32 *numDevices)
{
    if (!numDevices)
        return SiStatus::InvalidParameter;
    const QStringList devices = locate_();
    *numDevices = quint32(devices.size());
    countDetail_ = devices.size() > 1  ? bridgeChoiceDetail(devices)
                   : devices.isEmpty() ? namedBridgeMissingDetail()
                                       : QString();
    return SiStatus::Success;
}

namespace {

// Opens, locks and sets up a bridge's tty; the fd, or -1 with errno set.
int openBridgeTty(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;
    auto fail = [fd](int error) {
        ::close(fd);
        errno = error;
        return -1;
    };
    // The flock stops a second Sorrel even as root; TIOCEXCL also stops programs of
    // other users that do not flock.
    if (!lockDevice(fd))
        return fail(errno);
    if (const qint64 pid = serialLockFileHolder(path); pid > 0 && pid != ::getpid())
        return fail(EBUSY);
    // A hung-up tty (a pulled cable whose node lingers) fails here with EIO. A device
    // that lacks the call (ENOTTY) still has the flock against a second reader.
    if (::ioctl(fd, TIOCEXCL) != 0 && errno != ENOTTY)
        return fail(errno);
    termios t{};
    if (::tcgetattr(fd, &t) != 0)
        return fail(errno);
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    ::tcsetattr(fd, TCSANOW, &t);
    ::tcflush(fd, TCIOFLUSH);
    return fd;
}

} // namespace

int TtyBridgeApi::SI_Open(quint32 deviceNum, SiHandle *handle)
{
    openFailure_ = {};
    if (!handle)
        return SiStatus::InvalidParameter;
    const QStringList devices = locate_();
    if (deviceNum >= quint32(devices.size())) {
        openFailure_ = deviceFailure(QString(), ENODEV);
        return SiStatus::DeviceNotFound;
    }
    auto port = std::make_unique<Port>();
    port->path = devices.at(int(deviceNum));
    port->readTimeoutMs = readTimeoutMs_;
    port->clock = clock_;
    port->fd = openBridgeTty(port->path);
    if (port->fd < 0) {
        openFailure_ = deviceFailure(port->path, errno);
        return openFailure_.retryable() ? SiStatus::DeviceNotFound : SiStatus::DeviceIoFailed;
    }
    port->wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (port->wake < 0) {
        openFailure_ = deviceFailure(port->path, errno);
        ::close(port->fd);
        return SiStatus::DeviceIoFailed;
    }
    Port *p = port.get();
    port->reader = std::thread([p] { p->run(); });
    *handle = ++lastHandle_; // never reused, so a stale handle cannot reach a newer bridge
    ports_[*handle] = std::move(port);
    return SiStatus::Success;
}

int TtyBridgeApi::SI_SetBaudRate(SiHandle handle, quint32 baudRate)
{
    auto it = ports_.find(handle);
    if (it == ports_.end())
        return SiStatus::InvalidHandle;
    bool ok = false;
    const speed_t speed = speedFor(baudRate, &ok);
    if (!ok)
        return SiStatus::InvalidBaudRate;
    termios t{};
    if (::tcgetattr(it->second->fd, &t) != 0)
        return SiStatus::DeviceIoFailed;
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);
    return ::tcsetattr(it->second->fd, TCSANOW, &t) == 0 ? SiStatus::Success : SiStatus::DeviceIoFailed;
}

int TtyBridgeApi::SI_SetTimeouts(quint32 readTimeoutMs, quint32)
{
    readTimeoutMs_->store(readTimeoutMs);
    return SiStatus::Success;
}

int TtyBridgeApi::SI_Read(SiHandle handle, void *buffer, quint32 bytesToRead, quint32 *bytesReturned)
{
    if (bytesReturned)
        *bytesReturned = 0;
    auto it = ports_.find(handle);
    if (it == ports_.end())
        return SiStatus::InvalidHandle;
    if (!buffer || bytesToRead == 0)
        return SiStatus::InvalidParameter;
    Port &p = *it->second;
    if (p.chunk.exchange(bytesToRead) != bytesToRead) {
        std::lock_guard lock(p.m);
        p.framer.clear();
    }
    std::lock_guard lock(p.m);
    QByteArray read;
    BridgeFramer::TimePoint completed;
    p.lastReadCompleted.reset();
    if (p.framer.next(&read, &completed)) {
        p.lastReadCompleted = completed;
        std::memcpy(buffer, read.constData(), bytesToRead);
        if (bytesReturned)
            *bytesReturned = bytesToRead;
        return SiStatus::Success;
    }
    return p.lost ? SiStatus::ReadError : SiStatus::ReadTimedOut;
}

int TtyBridgeApi::SI_FlushBuffers(SiHandle handle, quint8 flushTransmit, quint8 flushReceive)
{
    auto it = ports_.find(handle);
    if (it == ports_.end())
        return SiStatus::InvalidHandle;
    Port &p = *it->second;
    if (flushTransmit)
        ::tcflush(p.fd, TCOFLUSH);
    if (flushReceive) {
        std::lock_guard lock(p.m);
        if (p.lastReadCompleted) {
            // After a read: as of when it completed (see BridgeFramer). The kernel's buffer
            // stays too: the reader has not taken those bytes, so none belongs to that read.
            p.framer.clearThrough(*p.lastReadCompleted);
        } else {
            ::tcflush(p.fd, TCIFLUSH);
            p.framer.clear();
        }
    }
    return SiStatus::Success;
}

int TtyBridgeApi::SI_Close(SiHandle handle)
{
    auto it = ports_.find(handle);
    if (it == ports_.end())
        return SiStatus::InvalidHandle;
    it->second->stop();
    ports_.erase(it);
    return SiStatus::Success;
}

QString TtyBridgeApi::devicePath(SiHandle handle) const
{
    auto it = ports_.find(handle);
    return it == ports_.end() ? QString() : it->second->path;
}

bool TtyBridgeApi::isLost(SiHandle handle) const
{
    auto it = ports_.find(handle);
    if (it == ports_.end())
        return false;
    std::lock_guard lock(it->second->m);
    return it->second->lost;
}

qsizetype TtyBridgeApi::waitingBytes(SiHandle handle) const
{
    auto it = ports_.find(handle);
    if (it == ports_.end())
        return 0;
    std::lock_guard lock(it->second->m);
    return it->second->framer.waiting();
}

} // namespace sorrel
