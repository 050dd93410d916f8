#include "cli/mqttpublisher.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <mosquitto.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace sorrel::cli {

namespace {

std::once_flag gLibraryInit;

QString topic(const MqttOptions &o, const char *leaf)
{
    return o.prefix + u'/' + QLatin1String(leaf);
}

QString errorText(int rc)
{
    return QString::fromLocal8Bit(rc == MOSQ_ERR_ERRNO ? std::strerror(errno) : mosquitto_strerror(rc));
}

// A refusal that another try would only repeat: bad protocol, id, credentials.
bool refusedForGood(int rc)
{
    return rc == 1 || rc == 2 || rc == 4 || rc == 5;
}

} // namespace

MqttPublisher::MqttPublisher(MqttOptions options, Identity identity, Report report)
    : options_(std::move(options)), identity_(std::move(identity)), report_(std::move(report))
{}

MqttPublisher::~MqttPublisher()
{
    if (net_.joinable() || pump_.joinable())
        stop(std::chrono::milliseconds(0));
    if (client_)
        mosquitto_destroy(client_);
}

bool MqttPublisher::start()
{
    std::call_once(gLibraryInit, [] { mosquitto_lib_init(); });
    const QByteArray clientId = QStringLiteral("sorrel-%1-%2").arg(options_.id).arg(::getpid()).toUtf8();
    client_ = mosquitto_new(clientId.constData(), true, this);
    if (!client_) {
        report_(QStringLiteral("sorrel-cli log: cannot make an MQTT client (%1)").arg(errorText(MOSQ_ERR_ERRNO)),
                true);
        return false;
    }
    mosquitto_threaded_set(client_, true);
    mosquitto_max_inflight_messages_set(client_, kWindow + 16); // the window and a few control messages
    mosquitto_connect_callback_set(client_, onConnect);
    mosquitto_disconnect_callback_set(client_, onDisconnect);
    mosquitto_publish_callback_set(client_, onPublish);
    const QByteArray state = topic(options_, "state").toUtf8();
    int rc = mosquitto_will_set(client_, state.constData(), 7, "offline", 1, true);
    if (rc == MOSQ_ERR_SUCCESS && !options_.user.isEmpty())
        rc = mosquitto_username_pw_set(client_, options_.user.toUtf8().constData(),
                                       options_.password ? options_.password->toUtf8().constData() : nullptr);
    if (rc == MOSQ_ERR_SUCCESS && options_.tls) {
        const QByteArray cafile = options_.cafile.toLocal8Bit();
        rc = cafile.isEmpty() ? mosquitto_tls_set(client_, nullptr, "/etc/ssl/certs", nullptr, nullptr, nullptr)
                              : mosquitto_tls_set(client_, cafile.constData(), nullptr, nullptr, nullptr, nullptr);
    }
    if (rc != MOSQ_ERR_SUCCESS) {
        report_(QStringLiteral("sorrel-cli log: cannot set up the MQTT client (%1)").arg(errorText(rc)), true);
        return false;
    }
    net_ = std::thread([this] { netLoop(); });
    pump_ = std::thread([this] { pumpLoop(); });
    return true;
}

void MqttPublisher::publish(const StreamRow &row)
{
    bool wake = false;
    {
        const std::lock_guard l(m_);
        if (stopping_)
            return;
        if (qsizetype(queue_.size()) >= options_.queueLimit) {
            queue_.pop_front();
            ++dropped_;
            ++droppedUnsaid_;
        }
        queue_.push_back(row);
        wake = pumpWaiting_;
    }
    // A busy pump finds the row on its next turn: no wake-up call per row.
    if (wake)
        cv_.notify_all();
}

qsizetype MqttPublisher::queued() const
{
    const std::lock_guard l(m_);
    return qsizetype(queue_.size());
}

quint64 MqttPublisher::dropped() const
{
    const std::lock_guard l(m_);
    return dropped_;
}

qsizetype MqttPublisher::stop(std::chrono::milliseconds drain)
{
    std::unique_lock l(m_);
    stopping_ = true;
    cv_.notify_all();
    cv_.wait_for(l, drain, [this] { return netStop_ || (queue_.empty() && inflight_ == 0); });
    const qsizetype left = qsizetype(queue_.size()) + inflight_;
    if (linkUp_ && !netStop_) {
        l.unlock();
        publishRaw(topic(options_, "state"), "offline", true);
        l.lock();
        cv_.wait_for(l, std::chrono::seconds(2), [this] { return inflight_ == 0 || !linkUp_; });
    }
    // A clean DISCONNECT, so the broker does not send the last will as well.
    closing_ = true;
    queue_.clear();
    const bool up = linkUp_;
    l.unlock();
    cv_.notify_all();
    if (client_ && up && mosquitto_disconnect(client_) == MOSQ_ERR_SUCCESS) {
        l.lock();
        cv_.wait_for(l, std::chrono::seconds(2), [this] { return !linkUp_; });
        l.unlock();
    }
    {
        const std::lock_guard g(m_);
        netStop_ = true;
    }
    cv_.notify_all();
    if (pump_.joinable())
        pump_.join();
    if (net_.joinable())
        net_.join();
    return left;
}

// ---- the network thread ------------------------------------------------------------

void MqttPublisher::netLoop()
{
    const QByteArray host = options_.host.toUtf8();
    const QString where = QStringLiteral("%1:%2").arg(options_.host).arg(options_.port);
    int delay = 1;
    std::unique_lock l(m_);
    while (!netStop_) {
        l.unlock();
        int rc = mosquitto_connect_async(client_, host.constData(), options_.port, 30);
        while (rc == MOSQ_ERR_SUCCESS) {
            rc = mosquitto_loop(client_, 500, 1);
            const std::lock_guard g(m_);
            if (netStop_)
                break;
        }
        const QString why = errorText(rc);
        l.lock();
        if (netStop_ || closing_)
            break;
        if (linkUp_ || everUp_)
            delay = 1;
        const bool wasUp = everUp_;
        linkUp_ = everUp_ = false;
        if (!outageSaid_) {
            outageSaid_ = true;
            report_(wasUp
                        ? QStringLiteral("sorrel-cli log: lost the MQTT broker at %1 (%2); rows wait in the queue")
                              .arg(where, why)
                        : QStringLiteral("sorrel-cli log: cannot reach the MQTT broker at %1 (%2); trying again")
                              .arg(where, why),
                    false);
        }
        cv_.wait_for(l, std::chrono::seconds(delay), [this] { return netStop_; });
        delay = std::min(delay * 2, 30);
    }
}

void MqttPublisher::onConnect(mosquitto *, void *self, int rc)
{
    auto *p = static_cast<MqttPublisher *>(self);
    if (rc != 0) {
        const QString why = QString::fromLocal8Bit(mosquitto_connack_string(rc));
        const bool fatal = refusedForGood(rc);
        if (fatal) {
            const std::lock_guard l(p->m_);
            p->netStop_ = true;
        }
        p->report_(QStringLiteral("sorrel-cli log: the MQTT broker refused the connection: %1").arg(why), fatal);
        p->cv_.notify_all();
        return;
    }
    p->connected();
}

void MqttPublisher::connected()
{
    quint64 dropped = 0, unsaid = 0;
    QString unit;
    {
        const std::lock_guard l(m_);
        linkUp_ = everUp_ = true;
        resending_ = inflight_ > 0; // libmosquitto sends these again first
        outageSaid_ = false;
        dropped = dropped_;
        unsaid = std::exchange(droppedUnsaid_, 0);
        unit = configUnit_.isEmpty() ? QStringLiteral("lux") : configUnit_;
        configUnit_ = unit;
    }
    publishRaw(topic(options_, "state"), "online", true);
    if (options_.discovery)
        publishRaw(QStringLiteral("homeassistant/sensor/%1/config").arg(options_.id), discoveryConfig(unit), true);
    if (unsaid > 0) {
        publishRaw(topic(options_, "dropped"), QByteArray::number(dropped), false);
        report_(QStringLiteral("sorrel-cli log: %1 rows were dropped while the MQTT broker was away (queue of %2)")
                    .arg(unsaid)
                    .arg(options_.queueLimit),
                false);
    }
    cv_.notify_all();
}

void MqttPublisher::onDisconnect(mosquitto *, void *self, int)
{
    auto *p = static_cast<MqttPublisher *>(self);
    {
        const std::lock_guard l(p->m_);
        p->linkUp_ = false;
    }
    p->cv_.notify_all();
}

void MqttPublisher::onPublish(mosquitto *, void *self, int)
{
    auto *p = static_cast<MqttPublisher *>(self);
    {
        const std::lock_guard l(p->m_);
        if (p->inflight_ > 0 && --p->inflight_ == 0)
            p->resending_ = false;
    }
    p->cv_.notify_all();
}

// ---- the pump thread ---------------------------------------------------------------

bool MqttPublisher::pumpMayRun() const
{
    return linkUp_ && !resending_ && inflight_ < kWindow && !queue_.empty();
}

// Takes up to a batch of rows under one lock and sends them outside it, so the
// session's thread meets the lock as rarely as possible.
void MqttPublisher::pumpLoop()
{
    const QString readingTopic = topic(options_, "reading");
    const QString configTopic = QStringLiteral("homeassistant/sensor/%1/config").arg(options_.id);
    struct Out {
        StreamRow row;
        bool newUnit;
    };
    std::vector<Out> batch;
    std::unique_lock l(m_);
    for (;;) {
        pumpWaiting_ = true;
        cv_.wait(l, [this] { return netStop_ || closing_ || pumpMayRun(); });
        pumpWaiting_ = false;
        if (netStop_ || closing_)
            return;
        batch.clear();
        while (inflight_ < kWindow && !queue_.empty() && batch.size() < 64) {
            StreamRow row = std::move(queue_.front());
            queue_.pop_front();
            // The discovery config follows the unit the meter shows.
            const bool newUnit = options_.discovery && !row.row.unit.isEmpty() && row.row.unit != configUnit_;
            if (!row.row.unit.isEmpty())
                configUnit_ = row.row.unit;
            inflight_ += newUnit ? 2 : 1;
            batch.push_back({std::move(row), newUnit});
        }
        l.unlock();
        int failed = 0, lostRows = 0;
        for (Out &o : batch) {
            if (o.newUnit && !send(configTopic, discoveryConfig(o.row.row.unit), true))
                ++failed;
            if (o.row.source.isEmpty())
                o.row.source = identity_.source;
            if (!send(readingTopic, jsonObject(o.row), false)) {
                ++failed;
                ++lostRows;
            }
        }
        l.lock();
        inflight_ -= failed;
        dropped_ += quint64(lostRows);
        droppedUnsaid_ += quint64(lostRows);
    }
}

// Counted in flight until its PUBACK; a message given while the link is down stays
// with libmosquitto, which sends it after reconnecting.
bool MqttPublisher::publishRaw(const QString &topicName, const QByteArray &payload, bool retain)
{
    {
        const std::lock_guard l(m_);
        ++inflight_;
    }
    if (send(topicName, payload, retain))
        return true;
    {
        const std::lock_guard l(m_);
        --inflight_;
    }
    cv_.notify_all();
    return false;
}

bool MqttPublisher::send(const QString &topicName, const QByteArray &payload, bool retain)
{
    const int rc = mosquitto_publish(client_, nullptr, topicName.toUtf8().constData(), int(payload.size()),
                                     payload.constData(), 1, retain);
    return rc == MOSQ_ERR_SUCCESS || rc == MOSQ_ERR_NO_CONN;
}

QByteArray MqttPublisher::discoveryConfig(const QString &unit) const
{
    const bool lux = unit == u"lux" || unit == u"X10-lux";
    QJsonObject device{{"identifiers", QJsonArray{QStringLiteral("sorrel_") + options_.id}},
                       {"name", QStringLiteral("Sorrel ") + options_.id},
                       {"model", identity_.model},
                       {"sw_version", QStringLiteral(SORREL_VERSION)}};
    QJsonObject c{{"name", lux ? QStringLiteral("Illuminance") : QStringLiteral("Reading")},
                  {"unique_id", QStringLiteral("sorrel_%1_reading").arg(options_.id)},
                  {"state_topic", topic(options_, "reading")},
                  {"availability_topic", topic(options_, "state")},
                  {"payload_available", "online"},
                  {"payload_not_available", "offline"},
                  {"state_class", "measurement"},
                  {"qos", 1},
                  {"device", device}};
    if (lux) {
        c.insert("device_class", "illuminance");
        c.insert("unit_of_measurement", "lx");
        // The X10 range shows a tenth of the light level; null (an overload) stays unknown.
        c.insert("value_template", "{{ (value_json.reading * 10) if value_json.unit == 'X10-lux' and "
                                   "value_json.reading is not none else value_json.reading }}");
    } else {
        c.insert("unit_of_measurement", unit);
        c.insert("value_template", "{{ value_json.reading }}");
    }
    return QJsonDocument(c).toJson(QJsonDocument::Compact);
}

} // namespace sorrel::cli
