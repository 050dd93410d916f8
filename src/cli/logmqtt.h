#pragma once
// The MQTT side of sorrel-cli log: the publisher, with what its threads have to say
// brought to the main thread's notifier.

#include "base/notifier.h"
#include "base/profile.h"
#include "cli/mqttpublisher.h"

#include <functional>
#include <memory>

namespace sorrel::cli {

class LogMqtt {
public:
    // onRefused: the broker turned us away for good (the run ends with status 1).
    LogMqtt(const MqttOptions &options, const ModelFlags &flags, const QString &source, Notifier &notifier,
            std::function<void()> onRefused);
    bool start() { return publisher_->start(); }
    void publish(const StreamRow &row) { publisher_->publish(row); }
    // Gives the queue ten seconds to reach the broker; false (and said) when rows are left.
    bool stop();

private:
    Notifier &notifier_;
    std::function<void()> onRefused_;
    std::unique_ptr<MqttPublisher> publisher_;
};

} // namespace sorrel::cli
