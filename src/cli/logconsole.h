#pragma once
// sorrel-cli log on the terminal: the progress line and the messages on stderr, and
// SIGINT / SIGTERM brought to the event loop.

#include "base/notifier.h"

#include <QSet>
#include <QString>
#include <csignal>

namespace sorrel::cli {

// "rows, last reading" kept on one line, only where someone watches.
class ProgressLine {
public:
    ProgressLine();
    void show(const QString &text);
    // Before any other line.
    void end();

private:
    bool enabled_;
    bool open_ = false;
};

// The tool's messages on stderr. While a device is retried once a second, each message
// is said once: one already said is dropped until the device is open again.
class LogNotifier : public Notifier {
public:
    explicit LogNotifier(ProgressLine &progress) : progress_(progress) {}
    void notify(MessageKind kind, const QString &text) override;
    void deviceOpened() { said_.clear(); }

private:
    ProgressLine &progress_;
    StderrNotifier out_;
    QSet<QString> said_;
};

// The handler only writes a byte into a socket pair; the event loop reads it.
class StopSignals {
public:
    StopSignals() = default;
    StopSignals(const StopSignals &) = delete;
    StopSignals &operator=(const StopSignals &) = delete;
    ~StopSignals();

    bool install();
    int readFd() const { return fds_[1]; }
    void drain();

private:
    int fds_[2] = {-1, -1};
    bool installed_ = false;
    struct sigaction oldInt_ {};
    struct sigaction oldTerm_ {};
};

} // namespace sorrel::cli
