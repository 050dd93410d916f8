#include "link/pseudoterminal.h"

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace sorrel {

PseudoTerminal::PseudoTerminal()
{
    termios raw{};
    cfmakeraw(&raw);
    cfsetspeed(&raw, B19200);
    int slave = -1;
    char name[256] = {};
    if (::openpty(&master_, &slave, name, &raw, nullptr) != 0) {
        master_ = -1;
        return;
    }
    // The program opens the slave by its path; this end is not needed.
    ::close(slave);
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    ::fcntl(master_, F_SETFD, FD_CLOEXEC);
    path_ = QString::fromLocal8Bit(name);
}

PseudoTerminal::~PseudoTerminal()
{
    unplug();
}

bool PseudoTerminal::write(QByteArrayView bytes)
{
    return master_ >= 0 && ::write(master_, bytes.data(), size_t(bytes.size())) == bytes.size();
}

void PseudoTerminal::unplug()
{
    if (master_ >= 0)
        ::close(master_);
    master_ = -1;
}

} // namespace sorrel
