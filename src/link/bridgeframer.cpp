#include "link/bridgeframer.h"

#include <algorithm>

namespace sorrel {

void BridgeFramer::take(QByteArrayView bytes, TimePoint arrived, qsizetype size)
{
    lastArrival_ = arrived;
    for (char b : bytes) {
        if (partial_.isEmpty())
            partialBegun_ = arrived;
        partial_.append(b);
        if (partial_.size() >= size) {
            if (completed_.size() < kMaxCompleted)
                completed_.push_back({partial_, arrived});
            partial_.clear();
        }
    }
}

void BridgeFramer::quiet(TimePoint now, std::chrono::milliseconds timeout)
{
    if (!partial_.isEmpty() && now - lastArrival_ >= timeout)
        partial_.clear();
}

int BridgeFramer::waitMs(TimePoint now, std::chrono::milliseconds timeout) const
{
    if (partial_.isEmpty())
        return -1;
    // Rounded up, so that a poll that times out has seen the whole time-out.
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(lastArrival_ + timeout - now);
    return int(std::max<std::chrono::milliseconds::rep>(0, left.count()));
}

bool BridgeFramer::next(QByteArray *out, TimePoint *completed)
{
    if (completed_.empty())
        return false;
    *out = completed_.front().bytes;
    if (completed)
        *completed = completed_.front().completed;
    completed_.pop_front();
    return true;
}

void BridgeFramer::clearThrough(TimePoint moment)
{
    while (!completed_.empty() && completed_.front().completed <= moment)
        completed_.pop_front();
    if (!partial_.isEmpty() && partialBegun_ <= moment)
        partial_.clear();
}

void BridgeFramer::clear()
{
    partial_.clear();
    completed_.clear();
}

qsizetype BridgeFramer::waiting() const
{
    qsizetype n = partial_.size();
    for (const Read &c : completed_)
        n += c.bytes.size();
    return n;
}

} // namespace sorrel
