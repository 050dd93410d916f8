#pragma once
// A pseudo-terminal pair in raw mode: the program opens the slave by its path, the test
// plays the instrument on the master.

#include <QByteArray>
#include <QString>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

class PtyPair {
public:
    PtyPair()
    {
        termios raw{};
        cfmakeraw(&raw);
        int slave = -1;
        char name[256] = {};
        if (openpty(&master_, &slave, name, &raw, nullptr) != 0)
            return;
        // The slave is opened by path by the code under test; this end is not needed.
        ::close(slave);
        fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
        path_ = QString::fromLocal8Bit(name);
    }
    ~PtyPair() { unplug(); }
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    bool isOpen() const { return master_ >= 0; }
    const QString &slavePath() const { return path_; }
    int masterFd() const { return master_; }

    bool write(const QByteArray &bytes)
    {
        return master_ >= 0 && ::write(master_, bytes.constData(), size_t(bytes.size())) == bytes.size();
    }
    // Closing the far side is what pulling the cable looks like to the program.
    void unplug()
    {
        if (master_ >= 0)
            ::close(master_);
        master_ = -1;
    }

private:
    int master_ = -1;
    QString path_;
};
