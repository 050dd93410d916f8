#pragma once
// A serial light meter on a pseudo-terminal for the sorrel-cli tests: frames at a
// steady pace from the test's event loop (so it keeps playing while the test waits),
// counting up from 1001 with an overload now and then.

#include "link/pseudoterminal.h"
#include "link/ternframeencoder.h"

#include <QProcess>
#include <QTimer>

namespace sorrel::test {

class MeterFeed {
public:
    // Every overloadEvery-th frame shows 0L (0: never).
    explicit MeterFeed(int periodMs = 20, int overloadEvery = 0) : overloadEvery_(overloadEvery)
    {
        timer_.setInterval(periodMs);
        QObject::connect(&timer_, &QTimer::timeout, [this] { sendOne(); });
    }
    bool isOpen() const { return pty_.isOpen(); }
    QString path() const { return pty_.slavePath(); }
    void start() { timer_.start(); }
    // Stops by itself after this many frames in all (0: no end).
    void setLimit(int frames) { limit_ = frames; }
    void stop() { timer_.stop(); }
    int sent() const { return sent_; }

private:
    void sendOne()
    {
        if (limit_ > 0 && sent_ >= limit_) {
            timer_.stop();
            return;
        }
        const bool overload = overloadEvery_ > 0 && (sent_ + 1) % overloadEvery_ == 0;
        const QString text = overload ? QStringLiteral(" 0L ") : QString::number(1001 + sent_);
        if (pty_.write(encodeTernSerialFrame(*TernDisplay::fromText(text))))
            ++sent_;
    }

    PseudoTerminal pty_;
    QTimer timer_;
    int overloadEvery_;
    int sent_ = 0;
    int limit_ = 0;
};

inline QString cliPath()
{
    return QStringLiteral(SORREL_BINARY_DIR "/sorrel-cli");
}

inline void startCli(QProcess &p, const QStringList &args, const QProcessEnvironment &extra = {})
{
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    e.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    for (const QString &k : extra.keys())
        e.insert(k, extra.value(k));
    p.setProcessEnvironment(e);
    p.start(cliPath(), args);
}

} // namespace sorrel::test
