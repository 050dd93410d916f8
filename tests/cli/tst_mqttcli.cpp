#include "meterfeed.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace sorrel;
using namespace sorrel::test;

// sorrel-cli log --mqtt against a real mosquitto broker on 127.0.0.1.
class TestMqttCli : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void badUrl_data();
    void badUrl();
    void deliversInOrder_data();
    void deliversInOrder();
    void brokerRestart();
    void queueKeepsNewest();
    void credentials_data();
    void credentials();
    void tls();
};

namespace {

const char kMosquitto[] = "/usr/sbin/mosquitto";

int freePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0
        && ::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    ::close(fd);
    return port;
}

bool listening(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(quint16(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}

// mosquitto as a child process with its config in a temporary folder; it keeps its
// sessions over a restart, so a subscriber misses nothing while it is away.
class Broker {
public:
    // {dir} in extraConfig is the broker's folder.
    explicit Broker(QString extraConfig = {}) : port_(freePort())
    {
        extraConfig.replace(QStringLiteral("{dir}"), dir_.path());
        if (!extraConfig.contains(u"allow_anonymous"))
            extraConfig += QStringLiteral("\nallow_anonymous true");
        // Run as root, mosquitto would become the mosquitto user, who cannot read this folder.
        if (::getuid() == 0)
            extraConfig += QStringLiteral("\nuser root");
        QFile conf(dir_.filePath("mosquitto.conf"));
        if (conf.open(QIODevice::WriteOnly))
            conf.write(QStringLiteral("listener %1 127.0.0.1\npersistence true\npersistence_location %2/\n%3\n")
                           .arg(port_)
                           .arg(dir_.path(), extraConfig)
                           .toUtf8());
    }
    ~Broker() { stop(); }
    QString dir() const { return dir_.path(); }
    int port() const { return port_; }
    QString url() const { return QStringLiteral("mqtt://127.0.0.1:%1").arg(port_); }
    bool start()
    {
        p_.setProcessChannelMode(QProcess::MergedChannels);
        p_.start(QString::fromLatin1(kMosquitto), {"-c", dir_.filePath("mosquitto.conf")});
        return p_.waitForStarted() && QTest::qWaitFor([this] { return listening(port_); }, 10000);
    }
    void stop()
    {
        if (p_.state() == QProcess::NotRunning)
            return;
        p_.terminate();
        if (!p_.waitForFinished(10000))
            p_.kill();
        p_.waitForFinished();
    }

private:
    QTemporaryDir dir_;
    int port_;
    QProcess p_;
};

// mosquitto_sub printing "topic payload" lines, with a session the broker keeps.
class Subscriber {
public:
    Subscriber(const Broker &broker, const QStringList &extra = {})
    {
        p_.start(QStringLiteral("mosquitto_sub"),
                 QStringList{"-h", "127.0.0.1", "-p", QString::number(broker.port()), "-q", "1", "-c", "-i",
                             QStringLiteral("sub%1").arg(::getpid()), "-v", "-t", "#"}
                     + extra);
        QObject::connect(&p_, &QProcess::readyReadStandardOutput, [this] {
            partial_ += p_.readAllStandardOutput();
            qsizetype nl;
            while ((nl = partial_.indexOf('\n')) >= 0) {
                lines_ << partial_.left(nl);
                partial_.remove(0, nl + 1);
            }
        });
    }
    ~Subscriber()
    {
        p_.kill();
        p_.waitForFinished();
    }
    // Subscribed once a probe published now comes back.
    bool ready(const Broker &broker)
    {
        return QTest::qWaitFor(
            [&] {
                QProcess::execute(
                    QStringLiteral("mosquitto_pub"),
                    {"-h", "127.0.0.1", "-p", QString::number(broker.port()), "-t", "sorrel/probe", "-m", "x"});
                return has("sorrel/probe x");
            },
            10000);
    }
    bool has(const QByteArray &line) const { return lines_.contains(line); }
    // Payloads on a topic, in arrival order.
    QList<QByteArray> on(const QByteArray &topic) const
    {
        QList<QByteArray> out;
        for (const QByteArray &l : lines_)
            if (l.startsWith(topic + ' '))
                out << l.mid(topic.size() + 1);
        return out;
    }
    // The "no" of each reading under prefix, in arrival order.
    QList<int> numbers(const QByteArray &prefix) const
    {
        QList<int> out;
        for (const QByteArray &payload : on(prefix + "/reading"))
            out << QJsonDocument::fromJson(payload).object().value(u"no").toInt(-1);
        return out;
    }

private:
    QProcess p_;
    QByteArray partial_;
    QList<QByteArray> lines_;
};

QList<int> range(int from, int to)
{
    QList<int> out;
    for (int i = from; i <= to; ++i)
        out << i;
    return out;
}

qsizetype linesIn(const QString &file)
{
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? f.readAll().count('\n') : 0;
}

// Waits with the event loop running, so the meter keeps playing.
bool finished(QProcess &p, int ms = 30000)
{
    return QTest::qWaitFor([&] { return p.state() == QProcess::NotRunning; }, ms);
}

void endLogger(QProcess &p, int expected = 0)
{
    ::kill(pid_t(p.processId()), SIGTERM);
    QVERIFY(p.waitForFinished(30000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), expected);
}

} // namespace

void TestMqttCli::initTestCase()
{
    if (!QFile::exists(QString::fromLatin1(kMosquitto)))
        QSKIP("mosquitto is not installed (/usr/sbin/mosquitto)");
}

void TestMqttCli::badUrl_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("fault");
    QTest::newRow("unknown scheme") << QStringList{"--mqtt", "http://h"} << "unknown scheme 'http'";
    QTest::newRow("no URL") << QStringList{"--mqtt", "localhost"} << "is no URL";
    QTest::newRow("no host") << QStringList{"--mqtt", "mqtt://:1883"} << "no host";
    QTest::newRow("bad port") << QStringList{"--mqtt", "mqtt://h:70000"} << "port '70000'";
    QTest::newRow("fragment") << QStringList{"--mqtt", "mqtt://h/a#b"} << "query or fragment";
    QTest::newRow("wildcard prefix") << QStringList{"--mqtt", "mqtt://h/a/+"} << "holds a wildcard";
    QTest::newRow("cafile on plain mqtt")
        << QStringList{"--mqtt", "mqtt://h", "--mqtt-cafile", "/dev/null"} << "needs an mqtts:// URL";
    QTest::newRow("bad id") << QStringList{"--mqtt", "mqtt://h", "--mqtt-id", "a/b"} << "--mqtt-id 'a/b'";
    QTest::newRow("queue of 0") << QStringList{"--mqtt", "mqtt://h", "--mqtt-queue", "0"} << "--mqtt-queue '0'";
}

void TestMqttCli::badUrl()
{
    QFETCH(QStringList, args);
    QFETCH(QString, fault);
    QProcess p;
    startCli(p, QStringList{"log", "--demo"} + args);
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitCode(), 2);
    const QString err = QString::fromLocal8Bit(p.readAllStandardError());
    QCOMPARE(err.count(u'\n'), 1);
    QVERIFY2(err.contains(fault), qPrintable(err));
}

void TestMqttCli::deliversInOrder_data()
{
    QTest::addColumn<bool>("demo");    // else the fast serial meter
    QTest::addColumn<int>("count");    // 0: killed with -9 after five readings
    QTest::addColumn<QString>("path"); // after the broker's URL
    QTest::addColumn<QString>("id");
    QTest::addColumn<QByteArray>("prefix");
    QTest::newRow("to its count") << false << 50 << "/lab/m1"
                                  << "m1" << QByteArray("lab/m1");
    QTest::newRow("killed with -9: the last will") << false << 0 << "/lab/m1"
                                                   << "m1" << QByteArray("lab/m1");
    QTest::newRow("demo: default id and prefix") << true << 3 << ""
                                                 << "demo" << QByteArray("sorrel/demo");
}

void TestMqttCli::deliversInOrder()
{
    QFETCH(bool, demo);
    QFETCH(int, count);
    QFETCH(QString, path);
    QFETCH(QString, id);
    QFETCH(QByteArray, prefix);
    Broker broker;
    QVERIFY(broker.start());
    Subscriber sub(broker);
    QVERIFY(sub.ready(broker));
    MeterFeed meter(20);
    QVERIFY(meter.isOpen());
    QProcess p;
    QStringList args{"log", "--mqtt", broker.url() + path};
    args << (demo ? QStringList{"--demo"} : QStringList{"--port", meter.path(), "--mqtt-id", id});
    if (count)
        args << "--count" << QString::number(count);
    startCli(p, args);
    QVERIFY(p.waitForStarted());
    meter.start();
    if (!count) {
        QVERIFY(QTest::qWaitFor([&] { return sub.numbers(prefix).size() >= 5; }, 20000));
        ::kill(pid_t(p.processId()), SIGKILL);
        QVERIFY(p.waitForFinished(10000));
    } else {
        QVERIFY(finished(p));
        QCOMPARE(p.exitCode(), 0);
        QCOMPARE(p.readAllStandardError(), QByteArray());
    }
    QVERIFY(QTest::qWaitFor([&] { return sub.on(prefix + "/state").value(1) == "offline"; }, 10000));
    QCOMPARE(sub.on(prefix + "/state"), (QList<QByteArray>{"online", "offline"}));
    const QList<int> got = sub.numbers(prefix);
    QCOMPARE(got, range(1, count ? count : int(got.size())));
    const QJsonObject reading = QJsonDocument::fromJson(sub.on(prefix + "/reading").value(0)).object();
    QCOMPARE(reading.value(u"source").toString(), demo ? QStringLiteral("demo") : meter.path());

    // Retained: a newcomer gets the discovery config and the last state at once.
    QProcess late;
    const QString configTopic = "homeassistant/sensor/" + id + "/config";
    late.start(QStringLiteral("mosquitto_sub"),
               {"-h", "127.0.0.1", "-p", QString::number(broker.port()), "-v", "-t", configTopic, "-t",
                prefix + "/state", "-C", "2", "-W", "10"});
    QVERIFY(late.waitForFinished(15000));
    const QList<QByteArray> lines = late.readAllStandardOutput().split('\n');
    QByteArray config;
    for (const QByteArray &l : lines)
        if (l.startsWith(configTopic.toUtf8() + ' '))
            config = l.mid(configTopic.size() + 1);
    QVERIFY(lines.contains(prefix + "/state offline"));
    const QJsonObject c = QJsonDocument::fromJson(config).object();
    QCOMPARE(c.value(u"state_topic").toString(), QString::fromUtf8(prefix + "/reading"));
    QCOMPARE(c.value(u"availability_topic").toString(), QString::fromUtf8(prefix + "/state"));
    // The config follows the unit last shown; a serial frame shows none, which keeps lux.
    const QString unit =
        QJsonDocument::fromJson(sub.on(prefix + "/reading").constLast()).object().value(u"unit").toString();
    const bool lux = unit.isEmpty() || unit == u"lux" || unit == u"X10-lux";
    QCOMPARE(c.value(u"device_class").toString(), lux ? QStringLiteral("illuminance") : QString());
    QCOMPARE(c.value(u"unit_of_measurement").toString(), lux ? QStringLiteral("lx") : unit);
    QVERIFY(c.value(u"value_template").toString().contains(u"value_json.reading"));
    QCOMPARE(c.value(u"device").toObject().value(u"model").toString(), QStringLiteral("osprey"));
}

void TestMqttCli::brokerRestart()
{
    Broker broker;
    QVERIFY(broker.start());
    Subscriber sub(broker);
    QVERIFY(sub.ready(broker));
    MeterFeed meter(50);
    QVERIFY(meter.isOpen());
    QTemporaryDir dir;
    const QString out = dir.filePath("rows.jsonl");
    QProcess p;
    startCli(p, {"log", "--port", meter.path(), "--out", out, "--mqtt", broker.url(), "--mqtt-id", "r"});
    QVERIFY(p.waitForStarted());
    meter.start();
    QVERIFY(QTest::qWaitFor([&] { return sub.numbers("sorrel/r").size() >= 10; }, 20000));

    broker.stop();
    QTest::qWait(5000); // the outage itself, rows coming all the while
    QVERIFY(broker.start());
    const qsizetype afterOutage = linesIn(out) + 10;
    QVERIFY(QTest::qWaitFor([&] { return linesIn(out) >= afterOutage; }, 20000));
    meter.stop();
    const int recorded = int(linesIn(out));
    auto distinct = [&] {
        const QList<int> n = sub.numbers("sorrel/r");
        return QSet<int>(n.begin(), n.end()).size();
    };
    QVERIFY(QTest::qWaitFor([&] { return distinct() >= recorded; }, 30000));
    endLogger(p);
    QVERIFY(linesIn(out) >= recorded);

    // Every row once in order after dropping repeats; QoS 1 repeats only what was in flight.
    QList<int> firsts;
    QSet<int> seen;
    const QList<int> got = sub.numbers("sorrel/r");
    for (int n : got)
        if (!seen.contains(n)) {
            seen.insert(n);
            firsts << n;
        }
    QCOMPARE(firsts.mid(0, recorded), range(1, recorded));
    QVERIFY2(got.size() - firsts.size() <= 100, qPrintable(QString::number(got.size() - firsts.size())));
    const QByteArray err = p.readAllStandardError();
    QVERIFY2(err.contains("lost the MQTT broker"), err.constData());
}

void TestMqttCli::queueKeepsNewest()
{
    Broker broker;
    QVERIFY(broker.start());
    {
        // The subscriber's session stays with the broker while both are away.
        Subscriber early(broker);
        QVERIFY(early.ready(broker));
    }
    broker.stop();
    MeterFeed meter(20);
    QVERIFY(meter.isOpen());
    meter.setLimit(30); // a first frame can be missed as the port opens: the file tells what was recorded
    QTemporaryDir dir;
    const QString out = dir.filePath("rows.jsonl");
    QProcess p;
    startCli(p, {"log", "--port", meter.path(), "--out", out, "--mqtt", broker.url(), "--mqtt-id", "q",
                 "--mqtt-queue", "10"});
    QVERIFY(p.waitForStarted());
    meter.start();
    QVERIFY(QTest::qWaitFor([&] { return meter.sent() == 30 && linesIn(out) >= 25; }, 20000));
    // The last frames through the port: all 30, or 29 when the first was missed as the
    // port opened (then only the time-out ends the wait).
    [[maybe_unused]] const bool all = QTest::qWaitFor([&] { return linesIn(out) >= 30; }, 3000);
    const int recorded = int(linesIn(out));
    QVERIFY(broker.start());
    Subscriber sub(broker);
    QVERIFY(QTest::qWaitFor(
        [&] { return sub.numbers("sorrel/q").size() >= 10 && !sub.on("sorrel/q/dropped").isEmpty(); }, 40000));
    endLogger(p);
    QCOMPARE(linesIn(out), recorded);
    QCOMPARE(sub.numbers("sorrel/q"), range(recorded - 9, recorded));
    QCOMPARE(sub.on("sorrel/q/dropped"), QList<QByteArray>{QByteArray::number(recorded - 10)});
    const QByteArray err = p.readAllStandardError();
    QVERIFY2(err.contains("cannot reach the MQTT broker"), err.constData());
    QVERIFY2(err.contains(QByteArray::number(recorded - 10) + " rows were dropped"), err.constData());
}

void TestMqttCli::credentials_data()
{
    QTest::addColumn<QString>("userInfo");
    QTest::addColumn<QString>("envPassword");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("wrong password") << "meter:wrong@"
                                    << "" << 1;
    QTest::newRow("no password") << ""
                                 << "" << 1;
    QTest::newRow("password in the URL") << "meter:s%40cret@"
                                         << "" << 0;
    QTest::newRow("password from the environment") << "meter@"
                                                   << "s@cret" << 0;
}

void TestMqttCli::credentials()
{
    QFETCH(QString, userInfo);
    QFETCH(QString, envPassword);
    QFETCH(int, exitCode);
    Broker broker(QStringLiteral("allow_anonymous false\npassword_file {dir}/passwd"));
    QCOMPARE(QProcess::execute(QStringLiteral("mosquitto_passwd"),
                               {"-b", "-c", broker.dir() + "/passwd", "meter", "s@cret"}),
             0);
    QVERIFY(broker.start());
    MeterFeed meter(20);
    QVERIFY(meter.isOpen());
    QProcessEnvironment env;
    if (!envPassword.isEmpty())
        env.insert(QStringLiteral("SORREL_MQTT_PASSWORD"), envPassword);
    QProcess p;
    startCli(p,
             {"log", "--port", meter.path(), "--count", "3", "--mqtt",
              "mqtt://" + userInfo + "127.0.0.1:" + QString::number(broker.port())},
             env);
    meter.start();
    QVERIFY(finished(p));
    QCOMPARE(p.exitCode(), exitCode);
    const QByteArray err = p.readAllStandardError();
    if (exitCode)
        QVERIFY2(err.contains("the MQTT broker refused the connection: "), err.constData());
    else
        QCOMPARE(err, QByteArray());
}

void TestMqttCli::tls()
{
    QTemporaryDir pki;
    auto openssl = [&](const QStringList &args) {
        QProcess o;
        o.setWorkingDirectory(pki.path());
        o.start(QStringLiteral("openssl"), args);
        return o.waitForFinished(30000) && o.exitCode() == 0;
    };
    QVERIFY(openssl({"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "ca.key", "-out", "ca.crt",
                     "-days", "2", "-subj", "/CN=test CA"}));
    QVERIFY(openssl({"req", "-newkey", "rsa:2048", "-nodes", "-keyout", "server.key", "-out", "server.csr",
                     "-subj", "/CN=127.0.0.1"}));
    QFile ext(pki.filePath("ext.cnf"));
    QVERIFY(ext.open(QIODevice::WriteOnly));
    ext.write("subjectAltName=IP:127.0.0.1\n");
    ext.close();
    QVERIFY(openssl({"x509", "-req", "-in", "server.csr", "-CA", "ca.crt", "-CAkey", "ca.key", "-CAcreateserial",
                     "-out", "server.crt", "-days", "2", "-extfile", "ext.cnf"}));
    const int tlsPort = freePort();
    Broker broker(
        QStringLiteral("listener %1 127.0.0.1\ncafile %2/ca.crt\ncertfile %2/server.crt\nkeyfile %2/server.key\n")
            .arg(tlsPort)
            .arg(pki.path()));
    QVERIFY(broker.start());
    QVERIFY(QTest::qWaitFor([&] { return listening(tlsPort); }, 10000));
    Subscriber sub(broker);
    QVERIFY(sub.ready(broker));
    MeterFeed meter(20);
    QVERIFY(meter.isOpen());
    QProcess p;
    startCli(p, {"log", "--port", meter.path(), "--count", "5", "--mqtt-id", "t", "--mqtt",
                 QStringLiteral("mqtts://127.0.0.1:%1").arg(tlsPort), "--mqtt-cafile", pki.filePath("ca.crt")});
    meter.start();
    QVERIFY(finished(p));
    QCOMPARE(p.exitCode(), 0);
    QCOMPARE(p.readAllStandardError(), QByteArray());
    QVERIFY(QTest::qWaitFor([&] { return sub.numbers("sorrel/t").size() >= 5; }, 10000));
    QCOMPARE(sub.numbers("sorrel/t"), range(1, 5));
}

QTEST_MAIN(TestMqttCli)
#include "tst_mqttcli.moc"
