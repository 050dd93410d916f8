// bench_stream: readings per second through the session, the recorder and each row
// output of sorrel-cli log (nothing, JSON lines to a pipe, a CSV file, MQTT at QoS 1 to
// a local mosquitto), fed by serial frames straight into the session; the cost each
// output adds on the session's thread per reading (median, p99); and the memory a full
// 100,000-row MQTT queue takes while no broker is there.
//
//   build/bench/bench_stream            # 200,000 readings per output
//   build/bench/bench_stream 50000      # quicker look
// MQTT needs mosquitto on PATH (Debian: /usr/sbin/mosquitto); without it that line is skipped.

#include "app/metersession.h"
#include "cli/mqttpublisher.h"
#include "cli/recording.h"
#include "cli/rowwriter.h"
#include "link/ternframeencoder.h"

#include <QCoreApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace sorrel;
using namespace sorrel::cli;
using Clock = std::chrono::steady_clock;

namespace {

FILE *gOut = stdout; // results, kept apart from the stdout the pipe output takes over

long rssKiB(const char *key)
{
    FILE *f = std::fopen("/proc/self/status", "r");
    if (!f)
        return -1;
    char line[256];
    long kib = -1;
    while (std::fgets(line, sizeof line, f))
        if (std::strncmp(line, key, std::strlen(key)) == 0)
            kib = std::atol(line + std::strlen(key));
    std::fclose(f);
    return kib;
}

double percentile(std::vector<double> v, double q)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(q * double(v.size())))];
}

std::vector<QByteArray> makeFrames()
{
    std::vector<QByteArray> frames;
    for (int v = 1000; v < 2000; ++v)
        frames.push_back(encodeTernSerialFrame(*TernDisplay::fromText(QString::number(v))));
    return frames;
}

// The session and recorder as sorrel-cli log runs them; `output` is called for each
// recorded row on the session's thread and timed there.
struct Run {
    const char *name;
    std::function<void(const StreamRow &)> output;
    std::function<double()> finish; // seconds the output still needed after the last frame
};

void measure(Run run, int readings, const std::vector<QByteArray> &frames)
{
    RecordingNotifier notifier;
    MeterSession session(resolveProfile(ModelFlags::shipped()), QStringLiteral("."), notifier);
    RecordSettings settings;
    settings.limit = 10000000;
    SessionRecording recording(session, notifier, settings);
    std::vector<double> frameUs, addedUs;
    frameUs.reserve(size_t(readings));
    addedUs.reserve(size_t(readings));
    QObject receiver;
    QObject::connect(
        &recording.table(), &ReadingTable::rowsAppended, &receiver, [&](qsizetype first, qsizetype last) {
            for (qsizetype i = first; i <= last; ++i) {
                const auto t0 = Clock::now();
                StreamRow row{recording.table().row(i), QDateTime::currentDateTime(),
                              session.lastOutcome().verdict.value_or(Verdict::None),
                              QStringLiteral("/dev/ttyUSB0")};
                if (run.output)
                    run.output(row);
                addedUs.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
            }
        });
    const auto start = Clock::now();
    for (int i = 0; i < readings; ++i) {
        const auto t0 = Clock::now();
        session.receiveSerial(frames[size_t(i) % frames.size()]);
        frameUs.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
    }
    const double fed = std::chrono::duration<double>(Clock::now() - start).count();
    const double tail = run.finish ? run.finish() : 0;
    const qsizetype rows = recording.table().rowCount();
    std::fprintf(gOut,
                 "%-22s %9.0f readings/s  (%lld rows, %.2f s + %.2f s to drain)  "
                 "frame p50 %.1f us p99 %.1f us  output adds p50 %.2f us p99 %.2f us\n",
                 run.name, double(rows) / (fed + tail), static_cast<long long>(rows), fed, tail,
                 percentile(frameUs, 0.5), percentile(frameUs, 0.99), percentile(addedUs, 0.5),
                 percentile(addedUs, 0.99));
    std::fflush(gOut);
    QObject::disconnect(&recording.table(), nullptr, &receiver, nullptr);
}

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

MqttOptions mqttOptions(int port, qsizetype queue)
{
    MqttOptions o;
    o.given = true;
    o.host = QStringLiteral("127.0.0.1");
    o.port = port;
    o.id = QStringLiteral("bench");
    o.prefix = QStringLiteral("sorrel/bench");
    o.queueLimit = queue;
    return o;
}

MqttPublisher::Identity identity()
{
    return {QStringLiteral("/dev/ttyUSB0"), QStringLiteral("osprey")};
}

void jsonlToPipe(int readings, const std::vector<QByteArray> &frames)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return;
    const int savedStdout = ::dup(STDOUT_FILENO);
    ::dup2(fds[1], STDOUT_FILENO);
    ::close(fds[1]);
    std::thread reader([fd = fds[0]] {
        char buf[1 << 16];
        while (::read(fd, buf, sizeof buf) > 0) {
        }
    });
    {
        RecordingNotifier notifier;
        RowWriter writer(QStringLiteral("-"), OutputFormat::Jsonl, notifier);
        writer.open();
        measure({"jsonl to a pipe", [&](const StreamRow &r) { writer.append(r); }, {}}, readings, frames);
        writer.finish(ReadingTable());
    }
    ::dup2(savedStdout, STDOUT_FILENO); // the reader sees the end of the pipe
    ::close(savedStdout);
    reader.join();
    ::close(fds[0]);
}

void csvFile(int readings, const std::vector<QByteArray> &frames)
{
    QTemporaryDir dir;
    RecordingNotifier notifier;
    RowWriter writer(dir.filePath(QStringLiteral("rows.csv")), OutputFormat::Csv, notifier);
    writer.open();
    int n = 0;
    // sorrel-cli log syncs once a second; at 10,000 readings/s that is every 10,000 rows.
    measure({"csv file",
             [&](const StreamRow &r) {
                 writer.append(r);
                 if (++n % 10000 == 0)
                     writer.sync();
             },
             [&] {
                 const auto t0 = Clock::now();
                 writer.finish(ReadingTable());
                 return std::chrono::duration<double>(Clock::now() - t0).count();
             }},
            readings, frames);
}

void mqttToBroker(int readings, const std::vector<QByteArray> &frames)
{
    const QString mosquitto = QStandardPaths::findExecutable(QStringLiteral("mosquitto"),
                                                             {"/usr/sbin", "/usr/bin"});
    if (mosquitto.isEmpty()) {
        std::fprintf(gOut, "%-22s skipped: mosquitto not found\n", "mqtt qos 1");
        return;
    }
    QTemporaryDir dir;
    const int port = freePort();
    QFile conf(dir.filePath(QStringLiteral("m.conf")));
    conf.open(QIODevice::WriteOnly);
    conf.write(QStringLiteral("listener %1 127.0.0.1\nallow_anonymous true\n%2")
                   .arg(port)
                   .arg(::getuid() == 0 ? QStringLiteral("user root\n") : QString())
                   .toUtf8());
    conf.close();
    QProcess broker;
    broker.start(mosquitto, {"-c", conf.fileName()});
    broker.waitForStarted();
    QThread::msleep(300);
    MqttPublisher publisher(mqttOptions(port, 10000000), identity(), [&](const QString &text, bool) {
        std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    });
    publisher.start();
    QThread::msleep(500); // time to connect; rows before that would wait in the queue anyway
    measure({"mqtt qos 1", [&](const StreamRow &r) { publisher.publish(r); },
             [&] {
                 const auto t0 = Clock::now();
                 const qsizetype left = publisher.stop(std::chrono::seconds(120));
                 if (left > 0)
                     std::fprintf(gOut, "  (%lld rows not delivered)\n", static_cast<long long>(left));
                 return std::chrono::duration<double>(Clock::now() - t0).count();
             }},
            readings, frames);
    broker.terminate();
    broker.waitForFinished();
}

// A full queue: 100,000 rows held while the broker is away.
void queueMemory(const std::vector<QByteArray> &frames)
{
    RecordingNotifier notifier;
    MeterSession session(resolveProfile(ModelFlags::shipped()), QStringLiteral("."), notifier);
    RecordSettings settings;
    settings.limit = 10000000;
    SessionRecording recording(session, notifier, settings);
    for (int i = 0; i < 100000; ++i)
        session.receiveSerial(frames[size_t(i) % frames.size()]);
    std::vector<StreamRow> rows;
    rows.reserve(100000);
    for (qsizetype i = 0; i < recording.table().rowCount(); ++i)
        rows.push_back({recording.table().row(i), QDateTime::currentDateTime(), Verdict::Pass, {}});
    MqttPublisher publisher(mqttOptions(freePort(), 100000), identity(), [](const QString &, bool) {});
    publisher.start();
    const long before = rssKiB("VmRSS:");
    for (const StreamRow &r : rows)
        publisher.publish(r);
    const long after = rssKiB("VmRSS:");
    std::fprintf(
        gOut, "%-22s %lld rows queued, %.1f MB (%.0f bytes a row, %zu of them the row itself)\n",
        "mqtt queue, no broker", static_cast<long long>(publisher.queued()), double(after - before) / 1024.0,
        double(after - before) * 1024.0 / double(std::max<qsizetype>(publisher.queued(), 1)), sizeof(StreamRow));
    publisher.stop(std::chrono::milliseconds(0));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int readings = argc > 1 ? std::max(1000, std::atoi(argv[1])) : 200000;
    gOut = fdopen(::dup(STDOUT_FILENO), "w");
    const std::vector<QByteArray> frames = makeFrames();
    queueMemory(frames); // first, before freed memory of the other runs hides growth
    measure({"session, no output", {}, {}}, readings, frames);
    jsonlToPipe(readings, frames);
    csvFile(readings, frames);
    mqttToBroker(readings, frames);
    return 0;
}
