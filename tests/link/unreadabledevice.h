#pragma once
// Makes a device node unreadable for the calling thread, as a newcomer's tty or hidraw
// node is: mode 0600 and, when the test runs as root, the thread's filesystem identity
// set to nobody (setfsuid drops root's right to override file modes).

#include <QString>
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sorrel::test {

class UnreadableDevice {
public:
    explicit UnreadableDevice(const QString &path) : path_(path.toLocal8Bit())
    {
        struct stat st {};
        if (::stat(path_.constData(), &st) != 0)
            return;
        oldMode_ = st.st_mode & 07777;
        ::chmod(path_.constData(), ::geteuid() == 0 ? 0600 : 0000);
        if (::geteuid() == 0) {
            ::setfsuid(kNobody);
            dropped_ = int(::setfsuid(uid_t(-1))) == int(kNobody);
        } else {
            dropped_ = true; // mode 0000 stops its owner too
        }
    }
    ~UnreadableDevice()
    {
        if (::geteuid() == 0)
            ::setfsuid(0);
        if (oldMode_ >= 0)
            ::chmod(path_.constData(), mode_t(oldMode_));
    }
    UnreadableDevice(const UnreadableDevice &) = delete;
    UnreadableDevice &operator=(const UnreadableDevice &) = delete;

    // False: the test cannot make it unreadable here, and should skip.
    bool active() const { return dropped_ && oldMode_ >= 0; }

private:
    static constexpr uid_t kNobody = 65534;
    QByteArray path_;
    int oldMode_ = -1;
    bool dropped_ = false;
};

} // namespace sorrel::test
