#pragma once
// Publishes recorded rows to an MQTT broker with libmosquitto, off the session's thread.
//
// publish() only puts the row into a bounded queue under a lock; the oldest rows are
// dropped (and counted) when it is full. A pump thread hands rows to libmosquitto, at
// most kWindow unacknowledged at a time and only while connected; the network thread
// runs libmosquitto's loop and reconnects with a back-off of 1 s doubling to 30 s.
// Rows handed over but not acknowledged when the link drops are sent again by
// libmosquitto after reconnecting, before any newer row, so the order holds.

#include "cli/mqttoptions.h"
#include "cli/rowformat.h"

#include <QString>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

struct mosquitto;

namespace sorrel::cli {

class MqttPublisher {
public:
    struct Identity {
        QString source; // the rows' "source" where they name none
        QString model;  // the profile, for the discovery device block
    };
    // Something to tell the user, from one of the publisher's threads; fatal: the broker
    // refused us for good.
    using Report = std::function<void(const QString &text, bool fatal)>;

    static constexpr int kWindow = 100;

    MqttPublisher(MqttOptions options, Identity identity, Report report);
    ~MqttPublisher();
    MqttPublisher(const MqttPublisher &) = delete;
    MqttPublisher &operator=(const MqttPublisher &) = delete;

    // Sets up the client (last will, TLS) and starts connecting; false: the client
    // could not be made (reported).
    bool start();
    // The session's thread: never waits on the broker.
    void publish(const StreamRow &row);
    // Waits up to `drain` for the queue to empty, says "offline" and disconnects.
    // Returns the rows never delivered.
    qsizetype stop(std::chrono::milliseconds drain);

    qsizetype queued() const;
    quint64 dropped() const;

private:
    static void onConnect(mosquitto *, void *self, int rc);
    static void onDisconnect(mosquitto *, void *self, int rc);
    static void onPublish(mosquitto *, void *self, int mid);

    void netLoop();
    void pumpLoop();
    bool publishRaw(const QString &topic, const QByteArray &payload, bool retain);
    bool send(const QString &topic, const QByteArray &payload, bool retain); // counted by the caller
    void connected();
    QByteArray discoveryConfig(const QString &unit) const;
    bool pumpMayRun() const; // m_ held

    MqttOptions options_;
    Identity identity_;
    Report report_;
    mosquitto *client_ = nullptr;
    std::thread net_, pump_;

    mutable std::mutex m_;
    std::condition_variable cv_;
    std::deque<StreamRow> queue_;
    int inflight_ = 0;         // handed to libmosquitto, not acknowledged
    bool linkUp_ = false;      // CONNACK accepted
    bool everUp_ = false;      // this connection got as far as CONNACK
    bool resending_ = false;   // after a reconnect, until libmosquitto's resends are acknowledged
    bool stopping_ = false;    // no new connections; the pump ends when the queue is empty
    bool pumpWaiting_ = false; // the pump sleeps on cv_
    bool closing_ = false;     // disconnecting at the end
    bool netStop_ = false;
    quint64 dropped_ = 0;
    quint64 droppedUnsaid_ = 0;
    QString configUnit_; // unit of the discovery config last sent
    bool outageSaid_ = false;
};

} // namespace sorrel::cli
