#pragma once
// Cuts a bridge's byte stream into reads of a fixed size, as the vendor library's reads
// come out: a read waits at most the read time-out for its next byte, so a fragment
// followed by that long a quiet line is dropped and does not start the next read.
//
// A quiet line is judged only from the last arrival to a moment the line was seen
// empty, never from the time between two reads: a reader thread held off the CPU reads
// the rest of a frame late, and that lateness is not a pause of the cable.
//
// For the same reason a flush after a read acts as of the moment that read completed on
// the line: an on-time poll takes a read and flushes at once, so bytes that arrived later,
// while the poll was held off the CPU, are the next read's and stay.

#include <QByteArray>
#include <QByteArrayView>
#include <chrono>
#include <deque>
#include <functional>

namespace sorrel {

class BridgeFramer {
public:
    using TimePoint = std::chrono::steady_clock::time_point;
    // Injected so tests drive the time-out without sleeping.
    using Clock = std::function<TimePoint()>;

    // Completed reads kept for the poll; far more than it ever leaves behind between ticks.
    static constexpr size_t kMaxCompleted = 64;

    // Bytes read from the line at `arrived` (taken when the read returned), in reads of `size`.
    void take(QByteArrayView bytes, TimePoint arrived, qsizetype size);
    // The line was found empty at `now`: a fragment quiet for the time-out is dropped.
    void quiet(TimePoint now, std::chrono::milliseconds timeout);
    // How long the reader may wait for bytes before it must look at the line again
    // (-1: no fragment pending, wait for ever).
    int waitMs(TimePoint now, std::chrono::milliseconds timeout) const;

    // The oldest completed read, and when its last byte arrived.
    bool next(QByteArray *out, TimePoint *completed = nullptr);
    void clear();
    // Drops completed reads and a fragment begun at or before `moment`; later bytes stay.
    void clearThrough(TimePoint moment);
    // Bytes taken from the line and not yet handed out (completed reads and fragment).
    qsizetype waiting() const;

private:
    struct Read {
        QByteArray bytes;
        TimePoint completed;
    };
    QByteArray partial_;
    TimePoint partialBegun_{};
    std::deque<Read> completed_;
    TimePoint lastArrival_{};
};

} // namespace sorrel
