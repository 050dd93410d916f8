#include "cli/logmqtt.h"

#include <QCoreApplication>
#include <QThread>

namespace sorrel::cli {

namespace {

QString modelName(const ModelFlags &flags)
{
    QStringList names;
    for (int f = 0; f < kModelFlagCount; ++f)
        if (flags.test(ModelFlag(f)))
            names << modelFlagCliName(ModelFlag(f));
    return names.join(u',');
}

} // namespace

LogMqtt::LogMqtt(const MqttOptions &options, const ModelFlags &flags, const QString &source, Notifier &notifier,
                 QObject *parent)
    : QObject(parent), notifier_(notifier)
{
    auto report = [this](const QString &text, bool fatal) {
        auto say = [this, text, fatal] {
            notifier_.plain(text);
            if (fatal && !stopped_)
                Q_EMIT refused();
        };
        if (QThread::currentThread() == QCoreApplication::instance()->thread())
            say();
        else
            QMetaObject::invokeMethod(this, say, Qt::QueuedConnection);
    };
    publisher_ = std::make_unique<MqttPublisher>(options, MqttPublisher::Identity{source, modelName(flags)},
                                                 report);
}

bool LogMqtt::stop()
{
    const qsizetype left = publisher_->stop(std::chrono::seconds(10));
    stopped_ = true;                      // the run is over
    QCoreApplication::sendPostedEvents(); // what the publisher said last
    if (left > 0)
        notifier_.plain(QStringLiteral("sorrel-cli log: %1 rows were not delivered to the MQTT broker").arg(left));
    return left == 0;
}

} // namespace sorrel::cli
