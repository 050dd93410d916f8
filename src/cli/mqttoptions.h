#pragma once
// The MQTT options of sorrel-cli log: --mqtt URL, --mqtt-id, --mqtt-cafile,
// --mqtt-queue, --no-discovery.

#include "cli/arguments.h"

#include <QString>
#include <optional>

namespace sorrel::cli {

struct MqttOptions {
    bool given = false; // --mqtt
    bool tls = false;
    QString host;
    int port = 1883;
    QString user;
    std::optional<QString> password;
    QString prefix; // empty: sorrel/<id>
    QString id;     // empty: from the source
    QString cafile;
    qsizetype queueLimit = 100000;
    bool discovery = true;
};

// mqtt://[user[:password]@]host[:port][/prefix] or mqtts://...; nullopt and *why on a
// malformed URL or an unknown scheme.
std::optional<MqttOptions> parseMqttUrl(const QString &url, QString *why);

// Takes the option the walker stands on when it is one of the MQTT options; false
// for any other. A bad value goes to the walker's fail().
bool takeMqttOption(ArgumentWalker &a, MqttOptions &options);

// Fills in what came from elsewhere (the password from SORREL_MQTT_PASSWORD, the id
// from the source) and checks the whole; an empty text when all is well.
QString finishMqttOptions(MqttOptions &options, const QString &source);

// A topic-safe id from a source: "demo", or the device path without /dev/.
QString mqttIdFor(const QString &source);

} // namespace sorrel::cli
