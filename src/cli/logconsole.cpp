#include "cli/logconsole.h"

#include <cerrno>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace sorrel::cli {

ProgressLine::ProgressLine() : enabled_(::isatty(STDERR_FILENO) == 1)
{}

void ProgressLine::show(const QString &text)
{
    if (!enabled_)
        return;
    std::fprintf(stderr, "\r%s\033[K", text.toLocal8Bit().constData());
    std::fflush(stderr);
    open_ = true;
}

void ProgressLine::end()
{
    if (open_)
        std::fputc('\n', stderr);
    open_ = false;
}

void LogNotifier::notify(MessageKind kind, const QString &text)
{
    const QString key = QString::number(int(kind)) + u' ' + text;
    if (said_.contains(key))
        return;
    said_.insert(key);
    progress_.end();
    out_.notify(kind, text);
}

namespace {

int gSignalWriteFd = -1;

extern "C" void onStopSignal(int)
{
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(gSignalWriteFd, &byte, 1);
    errno = saved;
}

} // namespace

bool StopSignals::install()
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds_) != 0)
        return false;
    gSignalWriteFd = fds_[0];
    struct sigaction sa {};
    sa.sa_handler = onStopSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &sa, &oldInt_);
    ::sigaction(SIGTERM, &sa, &oldTerm_);
    installed_ = true;
    return true;
}

void StopSignals::drain()
{
    char buf[64];
    while (::read(fds_[1], buf, sizeof buf) > 0) {
    }
}

StopSignals::~StopSignals()
{
    if (installed_) {
        ::sigaction(SIGINT, &oldInt_, nullptr);
        ::sigaction(SIGTERM, &oldTerm_, nullptr);
        gSignalWriteFd = -1;
    }
    for (int fd : fds_)
        if (fd >= 0)
            ::close(fd);
}

} // namespace sorrel::cli
