#pragma once
// The MQTT side of sorrel-cli log: the publisher, with what its threads have to say
// brought to the main thread's notifier.

#include "base/notifier.h"
#include "base/profile.h"
#include "cli/mqttpublisher.h"

#include <QObject>
#include <memory>

namespace sorrel::cli {

class LogMqtt : public QObject {
    Q_OBJECT
public:
    LogMqtt(const MqttOptions &options, const ModelFlags &flags, const QString &source, Notifier &notifier,
            QObject *parent = nullptr);
    bool start() { return publisher_->start(); }
    void publish(const StreamRow &row) { publisher_->publish(row); }
    // Gives the queue ten seconds to reach the broker; false (and said) when rows are left.
    bool stop();

Q_SIGNALS:
    // The broker turned us away for good (the run ends with status 1); not after stop().
    void refused();

private:
    Notifier &notifier_;
    bool stopped_ = false;
    std::unique_ptr<MqttPublisher> publisher_;
};

} // namespace sorrel::cli
