#include "cli/mqttoptions.h"

#include <QFileInfo>
#include <QUrl>

namespace sorrel::cli {

namespace {

bool idChar(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'_'
           || c == u'-';
}

bool allDigits(QStringView text)
{
    return !text.isEmpty()
           && std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

// host[:port] or [v6]:port
bool splitHostPort(QStringView hostPort, MqttOptions &o, QString *why)
{
    QStringView host = hostPort, port;
    if (hostPort.startsWith(u'[')) {
        const qsizetype close = hostPort.indexOf(u']');
        if (close < 0) {
            *why = QStringLiteral("unclosed '[' in the host");
            return false;
        }
        host = hostPort.mid(1, close - 1);
        QStringView rest = hostPort.mid(close + 1);
        if (!rest.isEmpty() && !rest.startsWith(u':')) {
            *why = QStringLiteral("text after the host '%1'").arg(host);
            return false;
        }
        port = rest.mid(1);
        if (rest.isEmpty())
            port = {};
    } else if (const qsizetype colon = hostPort.lastIndexOf(u':'); colon >= 0) {
        host = hostPort.left(colon);
        port = hostPort.mid(colon + 1);
        if (port.isEmpty()) {
            *why = QStringLiteral("an empty port");
            return false;
        }
    }
    if (host.isEmpty()) {
        *why = QStringLiteral("no host");
        return false;
    }
    o.host = host.toString();
    if (!port.isNull()) {
        bool ok = false;
        const int n = port.toInt(&ok);
        if (!allDigits(port) || !ok || n < 1 || n > 65535) {
            *why = QStringLiteral("port '%1' is not a number from 1 to 65535").arg(port);
            return false;
        }
        o.port = n;
    }
    return true;
}

bool takeUserInfo(QStringView info, MqttOptions &o, QString *why)
{
    const qsizetype colon = info.indexOf(u':');
    o.user = QUrl::fromPercentEncoding(info.left(colon).toUtf8());
    if (colon >= 0)
        o.password = QUrl::fromPercentEncoding(info.mid(colon + 1).toUtf8());
    if (o.user.isEmpty()) {
        *why = QStringLiteral("a password without a user name");
        return false;
    }
    return true;
}

bool takePrefix(QStringView path, MqttOptions &o, QString *why)
{
    QString prefix = QUrl::fromPercentEncoding(path.toUtf8());
    while (prefix.endsWith(u'/'))
        prefix.chop(1);
    if (prefix.contains(u'+') || prefix.contains(u'#') || prefix.contains(QChar(0))) {
        *why = QStringLiteral("the prefix '%1' holds a wildcard").arg(prefix);
        return false;
    }
    o.prefix = prefix;
    return true;
}

} // namespace

std::optional<MqttOptions> parseMqttUrl(const QString &url, QString *why)
{
    const qsizetype sep = url.indexOf(u"://");
    if (sep <= 0) {
        *why = QStringLiteral("'%1' is no URL; give mqtt://[user[:password]@]host[:port][/prefix]").arg(url);
        return std::nullopt;
    }
    MqttOptions o;
    const QString scheme = url.left(sep).toLower();
    if (scheme == u"mqtts") {
        o.tls = true;
        o.port = 8883;
    } else if (scheme != u"mqtt") {
        *why = QStringLiteral("unknown scheme '%1'; use mqtt:// or mqtts://").arg(url.left(sep));
        return std::nullopt;
    }
    QStringView rest = QStringView(url).mid(sep + 3);
    if (rest.contains(u'?') || rest.contains(u'#')) {
        *why = QStringLiteral("a query or fragment ('?', '#') is not taken");
        return std::nullopt;
    }
    const qsizetype slash = rest.indexOf(u'/');
    const QStringView authority = slash < 0 ? rest : rest.left(slash);
    const qsizetype at = authority.lastIndexOf(u'@');
    if (at >= 0 && !takeUserInfo(authority.left(at), o, why))
        return std::nullopt;
    if (!splitHostPort(authority.mid(at + 1), o, why))
        return std::nullopt;
    if (slash >= 0 && !takePrefix(rest.mid(slash + 1), o, why))
        return std::nullopt;
    return o;
}

bool takeMqttOption(ArgumentWalker &a, MqttOptions &o)
{
    const QString &arg = a.name();
    if (arg == u"--mqtt") {
        QString why;
        const std::optional<MqttOptions> url = parseMqttUrl(a.value(), &why);
        if (!url)
            a.fail(QStringLiteral("--mqtt: ") + why);
        o.given = true;
        o.tls = url->tls;
        o.host = url->host;
        o.port = url->port;
        o.user = url->user;
        o.password = url->password;
        o.prefix = url->prefix;
    } else if (arg == u"--no-discovery") {
        a.noValue();
        o.discovery = false;
    } else if (arg == u"--mqtt-id") {
        o.id = a.value();
        if (o.id.isEmpty() || !std::all_of(o.id.begin(), o.id.end(), idChar))
            a.fail(QStringLiteral("--mqtt-id '%1': only letters, digits, '_' and '-'").arg(o.id));
    } else if (arg == u"--mqtt-cafile") {
        o.cafile = a.value();
        if (!QFileInfo(o.cafile).isReadable())
            a.fail(QStringLiteral("--mqtt-cafile '%1' cannot be read").arg(o.cafile));
    } else if (arg == u"--mqtt-queue") {
        const QString text = a.value();
        bool ok = false;
        const qlonglong n = text.toLongLong(&ok);
        if (!allDigits(text) || !ok || n < 1 || n > 10000000)
            a.fail(QStringLiteral("--mqtt-queue '%1' is not a whole number from 1 to 10000000").arg(text));
        o.queueLimit = qsizetype(n);
    } else {
        return false;
    }
    return true;
}

QString mqttIdFor(const QString &source)
{
    QString id = source;
    if (id.startsWith(u"/dev/"))
        id = id.mid(5);
    for (QChar &c : id)
        if (!idChar(c))
            c = u'_';
    while (id.startsWith(u'_'))
        id.remove(0, 1);
    return id.isEmpty() ? QStringLiteral("meter") : id;
}

QString finishMqttOptions(MqttOptions &o, const QString &source)
{
    if (!o.given)
        return (o.id.isEmpty() && o.cafile.isEmpty() && o.queueLimit == MqttOptions().queueLimit && o.discovery)
                   ? QString()
                   : QStringLiteral("the --mqtt-* options and --no-discovery need --mqtt URL");
    if (!o.password && !o.user.isEmpty() && qEnvironmentVariableIsSet("SORREL_MQTT_PASSWORD"))
        o.password = qEnvironmentVariable("SORREL_MQTT_PASSWORD");
    if (o.id.isEmpty())
        o.id = mqttIdFor(source);
    if (o.prefix.isEmpty())
        o.prefix = QStringLiteral("sorrel/") + o.id;
    if (!o.cafile.isEmpty() && !o.tls)
        return QStringLiteral("--mqtt-cafile needs an mqtts:// URL");
    return {};
}

} // namespace sorrel::cli
