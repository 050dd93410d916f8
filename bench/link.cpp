// bench_link: instrument links over pseudo-terminals.
//   bench_link tick [seconds]     main-thread busy time per 10 ms bridge tick, bridge open and idle
//   bench_link latency [frames]   last byte in -> frame out, serial driver and bridge, 19200 baud pacing
//   bench_link unplug [seconds]   cables pulled while reading: process CPU, then a reconnect;
//                                 then sorrel-cli log on a pulled port and bridge: its CPU and
//                                 read/write calls while it waits for the device
//   bench_link cycles [n]         n unplug/replug cycles of the serial and bridge paths
//   bench_link table [frames]     last byte in -> row in the reading table, serial and bridge,
//                                 19200 baud pacing: session and recorder alone, then the
//                                 main window (needs a platform, e.g. QT_QPA_PLATFORM=offscreen)
// With no argument: tick, latency and unplug.

#include "app/gui/tfcomm.h"
#include "app/metersession.h"
#include "base/decimalseparator.h"
#include "link/bridgelink.h"
#include "link/commportdriver.h"
#include "link/demometer.h"
#include "link/meterlinks.h"
#include "link/pseudoterminal.h"
#include "link/serialconnection.h"
#include "link/ternframeencoder.h"
#include "link/togglegroup.h"
#include "link/ttybridgeapi.h"
#include "record/readingfiles.h"
#include "record/readingtable.h"
#include "record/recorder.h"
#include "record/recording.h"
#include "record/trendchartmodel.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <numeric>
#include <random>
#include <sys/resource.h>
#include <thread>
#include <vector>

using namespace sorrel;
using Clock = std::chrono::steady_clock;

namespace {

double processCpuMs()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000.0 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1000.0;
}

int openFds()
{
    return int(QDir(QStringLiteral("/proc/self/fd"))
                   .entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System)
                   .size());
}

void spin(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Runs the event loop until done() or the time-out; true when done.
template <typename F>
bool spinUntil(F done, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

double percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const size_t i = std::min(v.size() - 1, size_t(p / 100.0 * double(v.size() - 1) + 0.5));
    return v[i];
}

struct Headless {
    RecordingNotifier notifier;
    MeterSession session{resolveProfile(ModelFlags::shipped()), QStringLiteral("."), notifier};
    ToggleGroup toggles;
};

void usb(BridgeLink &link, ToggleGroup &toggles, bool down)
{
    toggles.setDown(Toggle::USB, down);
    link.USBClick();
}

// ---------------------------------------------------------------------------

int benchTick(int seconds)
{
    Headless h;
    PseudoTerminal pty; // a bridge that sends nothing
    TtyBridgeApi api([&] { return QStringList{pty.slavePath()}; });
    BridgeLink link(api, h.session, h.toggles);
    usb(link, h.toggles, true);
    if (!link.opened() || !h.notifier.messages.isEmpty()) {
        std::fprintf(stderr, "bridge did not open\n");
        return 1;
    }
    // The link's own timer is replaced by one that times each tick.
    link.Timer1().stop();
    std::vector<double> busyUs;
    QTimer t;
    t.setTimerType(Qt::PreciseTimer);
    QObject::connect(&t, &QTimer::timeout, [&] {
        const auto a = Clock::now();
        link.Timer1Timer();
        busyUs.push_back(std::chrono::duration<double, std::micro>(Clock::now() - a).count());
    });
    const double cpu0 = processCpuMs();
    QElapsedTimer wall;
    wall.start();
    t.start(BridgeLink::kPollMs);
    spin(seconds * 1000);
    t.stop();
    const double cpu = processCpuMs() - cpu0;
    const double total = std::accumulate(busyUs.begin(), busyUs.end(), 0.0);
    std::printf("idle bridge tick: %zu ticks in %lld ms; main-thread busy per tick: mean %.1f us, p50 %.1f us, "
                "p99 %.1f us, max %.1f us (budget 1000 us)\n",
                busyUs.size(), wall.elapsed(), total / double(busyUs.size()), percentile(busyUs, 50),
                percentile(busyUs, 99), *std::max_element(busyUs.begin(), busyUs.end()));
    std::printf("idle bridge: process CPU %.1f ms over %lld ms (%.2f%%), reader thread included\n", cpu,
                wall.elapsed(), 100.0 * cpu / double(wall.elapsed()));
    usb(link, h.toggles, false);
    return 0;
}

// ---------------------------------------------------------------------------

// Writes frames byte by byte at 19200 baud (10 bits a byte), at random moments, and
// notes when each frame's last byte went in. A frame that has not come out after two
// seconds counts as lost (a writer held off the CPU mid-frame for longer than the read
// time-out splits it, as a real cable's pause would), and the next one follows.
class PacedWriter {
public:
    PacedWriter(PseudoTerminal &pty, QByteArray frame, int frames)
        : pty_(pty), frame_(std::move(frame)), frames_(frames)
    {}

    void start()
    {
        thread_ = std::thread([this] { run(); });
    }
    void join() { thread_.join(); }
    int frames() const { return frames_; }
    std::vector<Clock::time_point> lastByteAt;
    std::atomic<int> written{0};
    std::atomic<int> consumed{0};
    std::atomic<int> lost{0};
    std::atomic<bool> finished{false};
    // Per frame, the longest pause between two of its bytes as written (ms).
    std::vector<double> longestPauseMs;
    // The frames given up, for telling a split frame from one the program dropped.
    std::vector<int> lostFrames;

private:
    void waitFor(int f)
    {
        const auto giveUp = Clock::now() + std::chrono::seconds(2);
        while (consumed.load() < f) {
            int previous = f - 1;
            if (Clock::now() > giveUp && consumed.compare_exchange_strong(previous, f)) {
                ++lost;
                lostFrames.push_back(f - 1);
                return;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    }
    void run()
    {
        std::mt19937 rng(1);
        std::uniform_int_distribution<int> gap(30, 90);
        const auto byteTime = std::chrono::microseconds(10'000'000 / 19200);
        lastByteAt.resize(size_t(frames_));
        longestPauseMs.resize(size_t(frames_));
        for (int f = 0; f < frames_; ++f) {
            // Wait for the previous frame to come out, then a random pause.
            waitFor(f);
            std::this_thread::sleep_for(std::chrono::milliseconds(gap(rng)));
            auto next = Clock::now();
            Clock::time_point previous;
            for (char b : frame_) {
                std::this_thread::sleep_until(next);
                pty_.write(QByteArrayView(&b, 1));
                const auto now = Clock::now();
                if (previous != Clock::time_point())
                    longestPauseMs[size_t(f)] = std::max(
                        longestPauseMs[size_t(f)],
                        std::chrono::duration<double, std::milli>(now - previous).count());
                previous = now;
                next += byteTime;
            }
            lastByteAt[size_t(f)] = Clock::now();
            written = f + 1;
        }
        waitFor(frames_);
        finished = true;
    }
    PseudoTerminal &pty_;
    QByteArray frame_;
    int frames_;
    std::thread thread_;
};

void report(const char *what, std::vector<double> ms, const char *end = "frame decoded",
            const PacedWriter *writer = nullptr)
{
    const int lost = writer ? writer->lost.load() : 0;
    if (ms.empty()) {
        std::printf("%s: NO FRAMES arrived\n", what);
        return;
    }
    std::printf("%s: %zu frames, latency last byte in -> %s: p50 %.1f ms, p99 %.1f ms, max %.1f ms; %d lost\n",
                what, ms.size(), end, percentile(ms, 50), percentile(ms, 99),
                *std::max_element(ms.begin(), ms.end()), lost);
    if (lost) {
        // A pause longer than the bridge's 10 ms read time-out splits a frame on purpose.
        std::printf("  lost frames, longest pause between two of their bytes as written:");
        for (int f : writer->lostFrames)
            std::printf(" #%d %.1f ms", f, writer->longestPauseMs[size_t(f)]);
        std::printf("\n");
    }
    std::fflush(stdout);
}

// Frames lost other than by a pause the bridge's read time-out cuts at: the program's.
int droppedByProgram(const PacedWriter &writer, bool bridge)
{
    int n = 0;
    for (int f : writer.lostFrames)
        n += !(bridge && writer.longestPauseMs[size_t(f)] > double(BridgeLink::kTimeoutMs));
    return n;
}

// The end of a frame's road: notes its latency and lets the writer send the next one.
void arrived(PacedWriter &writer, std::vector<double> &ms)
{
    const int f = writer.consumed.load();
    // The writer notes the time just after its last byte went; the frame may be in first.
    const auto giveUp = Clock::now() + std::chrono::milliseconds(100);
    while (writer.written.load() <= f) {
        if (Clock::now() > giveUp)
            return; // nothing outstanding
        std::this_thread::yield();
    }
    ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - writer.lastByteAt[size_t(f)]).count());
    writer.consumed = f + 1;
}

// Plays every frame, each after the one before came out or was given up.
void play(PacedWriter &writer)
{
    writer.start();
    spinUntil([&] { return writer.finished.load(); }, writer.frames() * 3000);
    writer.consumed = writer.frames();
    writer.join();
}

int benchLatency(int frames)
{
    TernDisplay d = *TernDisplay::fromText(QStringLiteral("12.34"));
    d.set(TernBit::LUX);

    { // Serial: COMM2 at 19200, polled every 50 ms, through HTernRData to the decoded frame.
        Headless h;
        PseudoTerminal pty;
        qputenv("SORREL_COM1", pty.slavePath().toLocal8Bit());
        TCommPortDriver driver;
        driver.setComPortSpeed(br19200);
        driver.OnReceiveData = [&](TCommPortDriver *, const char *data, int size) {
            h.session.HTernRData(QByteArrayView(data, size));
        };
        PacedWriter writer(pty, encodeTernSerialFrame(d), frames);
        std::vector<double> ms;
        QObject::connect(&h.session, &MeterSession::frameDecoded, [&] { arrived(writer, ms); });
        if (!driver.Connect()) {
            std::fprintf(stderr, "serial port did not open\n");
            return 1;
        }
        play(writer);
        report("serial (14-byte frames, 50 ms polling)", ms, "frame decoded", &writer);
        qunsetenv("SORREL_COM1");
    }

    { // Bridge: 32-byte frames, the 10 ms poll.
        Headless h;
        PseudoTerminal pty;
        TtyBridgeApi api([&] { return QStringList{pty.slavePath()}; });
        BridgeLink link(api, h.session, h.toggles);
        PacedWriter writer(pty, encodeTernBridgeFrame(d), frames);
        std::vector<double> ms;
        QObject::connect(&link, &BridgeLink::frameReceived, &h.session, &MeterSession::dispatchBridgeFrame);
        QObject::connect(&h.session, &MeterSession::frameDecoded, [&] { arrived(writer, ms); });
        usb(link, h.toggles, true);
        play(writer);
        report("bridge (32-byte frames, 10 ms poll)", ms, "frame decoded", &writer);
        usb(link, h.toggles, false);
    }
    return 0;
}

// ---------------------------------------------------------------------------

// The window's recording step without the window: the session's judged readings are
// recorded into a reading table and charted into a plain chart model.
struct HeadlessRecorder {
    Headless h;
    ReadingTable table;
    TrendChartModel chart;
    Recording recording{table, chart, 100, h.session.state(), h.session.panel(), h.notifier};
    HeadlessRecorder()
    {
        QObject::connect(&h.session, &MeterSession::readingJudged, &recording, &Recording::record);
    }
};

int benchTable(int frames)
{
    TernDisplay d = *TernDisplay::fromText(QStringLiteral("12.34"));
    d.set(TernBit::LUX);
    const QByteArray serialFrame = encodeTernSerialFrame(d);
    const QByteArray bridgeFrame = encodeTernBridgeFrame(d);
    int rc = 0;

    { // Serial, headless: COMM2 polled every 50 ms, HTernRData, the recorder.
        HeadlessRecorder r;
        PseudoTerminal pty;
        qputenv("SORREL_COM1", pty.slavePath().toLocal8Bit());
        TCommPortDriver driver;
        driver.setComPortSpeed(br19200);
        driver.OnReceiveData = [&](TCommPortDriver *, const char *data, int size) {
            r.h.session.HTernRData(QByteArrayView(data, size));
        };
        PacedWriter writer(pty, serialFrame, frames);
        std::vector<double> ms;
        QObject::connect(&r.table, &ReadingTable::rowsAppended, &r.table, [&] { arrived(writer, ms); });
        if (!driver.Connect()) {
            std::fprintf(stderr, "serial port did not open\n");
            return 1;
        }
        play(writer);
        report("serial, session and recorder (50 ms polling)", ms, "row in table", &writer);
        rc |= droppedByProgram(writer, false) != 0;
        qunsetenv("SORREL_COM1");
    }

    { // Bridge, headless: the 10 ms poll, the bridge dispatch, the recorder.
        HeadlessRecorder r;
        PseudoTerminal pty;
        TtyBridgeApi api([&] { return QStringList{pty.slavePath()}; });
        BridgeLink link(api, r.h.session, r.h.toggles);
        QObject::connect(&link, &BridgeLink::frameReceived, &r.h.session, &MeterSession::dispatchBridgeFrame);
        PacedWriter writer(pty, bridgeFrame, frames);
        std::vector<double> ms;
        QObject::connect(&r.table, &ReadingTable::rowsAppended, &r.table, [&] { arrived(writer, ms); });
        usb(link, r.h.toggles, true);
        play(writer);
        report("bridge, session and recorder (10 ms poll)", ms, "row in table", &writer);
        rc |= droppedByProgram(writer, true) != 0;
        usb(link, r.h.toggles, false);
    }

    if (!qobject_cast<QApplication *>(QCoreApplication::instance()))
        return rc;

    // The main window, shown offscreen: the same roads, with the panel, grid and chart
    // repainting between frames. The row is in cds1 when the decoder call ends.
    for (const bool serial : {true, false}) {
        PseudoTerminal pty;
        qputenv(serial ? "SORREL_COM1" : "SORREL_BRIDGE", pty.slavePath().toLocal8Bit());
        RecordingNotifier notifier;
        TFCOMM w(AppOptions{}, notifier);
        w.show();
        QCoreApplication::processEvents();
        PacedWriter writer(pty, serial ? serialFrame : bridgeFrame, frames);
        std::vector<double> ms;
        qsizetype rows = 0;
        QObject::connect(&w.session(), &MeterSession::frameDecoded, [&] {
            if (w.readings().rowCount() > rows) {
                rows = w.readings().rowCount();
                arrived(writer, ms);
            }
        });
        if (serial)
            w.links().serial().BTCon1Click();
        else
            w.pressUsbConnect();
        if (!notifier.messages.isEmpty()) {
            std::fprintf(stderr, "window could not connect: %s\n", qPrintable(notifier.texts().join(u' ')));
            return 1;
        }
        play(writer);
        report(serial ? "serial, main window (50 ms polling)" : "bridge, main window (10 ms poll)", ms,
               "row in table", &writer);
        rc |= droppedByProgram(writer, !serial) != 0;
        qunsetenv(serial ? "SORREL_COM1" : "SORREL_BRIDGE");
    }
    return rc;
}

// ---------------------------------------------------------------------------

int benchUnplug(int seconds)
{
    Headless h;
    // Bridge: the demo meter; serial: a pseudo-terminal cable sending serial frames.
    DemoMeter meter(3);
    meter.plug();
    auto api = meter.makeBridgeApi();
    BridgeLink bridge(*api, h.session, h.toggles);
    int bridgeFrames = 0;
    QObject::connect(&bridge, &BridgeLink::frameReceived, &bridge, [&] { ++bridgeFrames; });
    usb(bridge, h.toggles, true);

    auto pty = std::make_unique<PseudoTerminal>();
    qputenv("SORREL_COM1", pty->slavePath().toLocal8Bit());
    TCommPortDriver driver;
    SerialConnection serial(driver, h.toggles, h.notifier);
    int serialBytes = 0;
    driver.OnReceiveData = [&](TCommPortDriver *, const char *, int n) { serialBytes += n; };
    serial.BTCon1Click();
    const QByteArray frame = encodeTernSerialFrame(*TernDisplay::fromText(QStringLiteral("1234")));
    QTimer feeder;
    QObject::connect(&feeder, &QTimer::timeout, [&] {
        if (pty)
            pty->write(frame);
    });
    feeder.start(100);

    const bool flowing = spinUntil([&] { return bridgeFrames >= 2 && serialBytes >= 28; }, 5000);
    std::printf("before pulling: bridge frames %d, serial bytes %d (%s)\n", bridgeFrames, serialBytes,
                flowing ? "flowing" : "NOT flowing");

    meter.unplug();
    pty.reset();
    spin(500);
    const double cpu0 = processCpuMs();
    QElapsedTimer wall;
    wall.start();
    spin(seconds * 1000);
    const double cpu = processCpuMs() - cpu0;
    std::printf("both cables pulled, bridge poll and serial polling running: process CPU %.1f ms over %lld ms "
                "(%.2f%%), messages %lld\n",
                cpu, wall.elapsed(), 100.0 * cpu / double(wall.elapsed()), qlonglong(h.notifier.messages.size()));

    // Reconnect as a user would: plug in, button up and down / Disconnect and Connect.
    meter.plug();
    usb(bridge, h.toggles, false);
    usb(bridge, h.toggles, true);
    pty = std::make_unique<PseudoTerminal>();
    qputenv("SORREL_COM1", pty->slavePath().toLocal8Bit());
    serial.BtDiscon1Click();
    serial.BTCon1Click();
    const int b0 = bridgeFrames, s0 = serialBytes;
    const bool back = spinUntil([&] { return bridgeFrames >= b0 + 2 && serialBytes >= s0 + 28; }, 5000);
    std::printf("after reconnecting: %s (bridge frames +%d, serial bytes +%d), messages %lld\n",
                back ? "data flows again" : "NO DATA", bridgeFrames - b0, serialBytes - s0,
                qlonglong(h.notifier.messages.size()));
    qunsetenv("SORREL_COM1");
    return back && flowing ? 0 : 1;
}

// ---------------------------------------------------------------------------

// Seconds of CPU a child process has used, from /proc (-1 if unknown).
double childCpuSeconds(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray stat = f.readAll();
    // Fields after the command name: state is 3, utime 14, stime 15.
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    return (fields.value(11).toDouble() + fields.value(12).toDouble()) / double(::sysconf(_SC_CLK_TCK));
}

// Read and write calls a child has made: a retry loop without pause shows here even
// where each try is too cheap to weigh as CPU time.
qint64 childIoCalls(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/io").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    qint64 calls = 0;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("syscr: ") || line.startsWith("syscw: "))
            calls += line.mid(7).toLongLong();
    return calls;
}

qsizetype rowsIn(const QString &file)
{
    ReadingTable t;
    RecordingNotifier messages;
    LoadReadingFile(file, t, false).tell(messages);
    return t.rowCount();
}

// Writes a frame every 50 ms until done() holds or the time runs out.
template <typename F>
bool feedUntil(PseudoTerminal &pty, const QByteArray &frame, F done, int ms)
{
    return spinUntil(
        [&] {
            pty.write(frame);
            spin(50);
            return done();
        },
        ms);
}

// sorrel-cli log on a device that is pulled: while it waits for the device to come back
// it should cost next to nothing (budget: under 0.25 s CPU and 30 read/write calls a
// second), and it logs again once a device is behind the name.
int benchCliUnplug(const char *option, int seconds)
{
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("meter")), out = dir.filePath(QStringLiteral("rows.txt"));
    const TernDisplay d = *TernDisplay::fromText(QStringLiteral("1234"));
    const QByteArray frame = QByteArray(option) == "--bridge" ? encodeTernBridgeFrame(d)
                                                              : encodeTernSerialFrame(d);
    auto pty = std::make_unique<PseudoTerminal>();
    QFile::link(pty->slavePath(), link);
    QProcess p;
    p.start(QStringLiteral(SORREL_BINARY_DIR "/sorrel-cli"), {"log", option, link, "--out", out});
    if (!p.waitForStarted()
        || !feedUntil(
            *pty, frame, [&] { return rowsIn(out) >= 2; }, 10000)) {
        std::printf("sorrel-cli log %s: NO ROWS before pulling\n", option);
        return 1;
    }
    pty->unplug();
    QByteArray err;
    spinUntil([&] { return (err += p.readAllStandardError()).contains("is gone"); }, 5000);
    const double cpu0 = childCpuSeconds(p.processId());
    const qint64 calls0 = childIoCalls(p.processId());
    spin(seconds * 1000);
    const double cpu = childCpuSeconds(p.processId()) - cpu0;
    const qint64 calls = childIoCalls(p.processId()) - calls0;
    err += p.readAllStandardError();
    std::printf(
        "sorrel-cli log %s, device gone: CPU %.2f s and %lld read/write calls over %d s; 'is gone' said %lld "
        "times\n",
        option, cpu, qlonglong(calls), seconds, qlonglong(err.count("is gone")));

    PseudoTerminal second;
    QFile::remove(link);
    QFile::link(second.slavePath(), link);
    const qsizetype before = rowsIn(out);
    const bool back = feedUntil(
        second, frame, [&] { return rowsIn(out) >= before + 2; }, 10000);
    std::printf("  after a device is back: %s\n", back ? "logging again" : "NO ROWS");
    std::fflush(stdout);
    ::kill(pid_t(p.processId()), SIGTERM);
    p.waitForFinished(10000);
    const bool budget = cpu0 >= 0 && calls0 >= 0 && cpu < 0.25 * seconds && calls < 30 * seconds;
    return back && budget ? 0 : 1;
}

int benchCycles(int n)
{
    Headless h;
    const QByteArray serialFrame = encodeTernSerialFrame(*TernDisplay::fromText(QStringLiteral("1234")));
    const QByteArray bridgeFrame = encodeTernBridgeFrame(*TernDisplay::fromText(QStringLiteral("1234")));

    TCommPortDriver driver;
    driver.setComPortPollingDelay(10);
    SerialConnection serial(driver, h.toggles, h.notifier);
    int serialFrames = 0;
    driver.OnReceiveData = [&](TCommPortDriver *, const char *data, int size) {
        for (int i = 0; i < size; ++i)
            serialFrames += (quint8(data[i]) >> 4) == 0x0E;
    };

    std::unique_ptr<PseudoTerminal> bridgePty;
    TtyBridgeApi api([&] { return bridgePty ? QStringList{bridgePty->slavePath()} : QStringList{}; });
    BridgeLink bridge(api, h.session, h.toggles);
    int bridgeFrames = 0;
    QObject::connect(&bridge, &BridgeLink::frameReceived, &bridge, [&] { ++bridgeFrames; });

    // One cycle first so that lazily made resources (the event loop's own) are counted.
    const int fd0Raw = openFds();
    int failures = 0;
    const double cpu0 = processCpuMs();
    QElapsedTimer wall;
    wall.start();
    int fdAfterFirst = -1;
    for (int i = 0; i < n; ++i) {
        // Serial: plug, connect, a frame, pull while reading, disconnect.
        auto pty = std::make_unique<PseudoTerminal>();
        qputenv("SORREL_COM1", pty->slavePath().toLocal8Bit());
        serial.BTCon1Click();
        const int s0 = serialFrames;
        pty->write(serialFrame);
        const bool serialOk = spinUntil([&] { return serialFrames > s0; }, 2000);
        pty.reset();
        spinUntil([&] { return driver.portLost(); }, 2000);
        serial.BtDiscon1Click();

        // Bridge: plug, USB down, a frame, pull while polling, USB up.
        bridgePty = std::make_unique<PseudoTerminal>();
        usb(bridge, h.toggles, true);
        const int b0 = bridgeFrames;
        bridgePty->write(bridgeFrame);
        const bool bridgeOk = spinUntil([&] { return bridgeFrames > b0; }, 2000);
        const SiHandle handle = bridge.handle();
        bridgePty.reset();
        spinUntil([&] { return api.isLost(handle); }, 2000);
        spin(20); // a couple of failing polls
        usb(bridge, h.toggles, false);

        failures += !serialOk + !bridgeOk;
        if (i == 0)
            fdAfterFirst = openFds();
    }
    const double cpu = processCpuMs() - cpu0;
    std::printf(
        "%d unplug/replug cycles (serial and bridge): %d missed frames, %lld messages, "
        "open fds %d at start, %d after the first cycle, %d at the end; CPU %.0f ms over %lld ms (%.1f%%)\n",
        n, failures, qlonglong(h.notifier.messages.size()), fd0Raw, fdAfterFirst, openFds(), cpu, wall.elapsed(),
        100.0 * cpu / double(wall.elapsed()));
    qunsetenv("SORREL_COM1");
    return failures == 0 && openFds() == fdAfterFirst ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    // The window mode needs a GUI application; the others run without a platform.
    const bool window = argc > 1 && QByteArray(argv[1]) == "table";
    std::unique_ptr<QCoreApplication> app(window ? new QApplication(argc, argv)
                                                 : new QCoreApplication(argc, argv));
    const QStringList args = app->arguments().mid(1);
    const QString mode = args.value(0);
    const int n = args.value(1).toInt();
    if (mode == u"tick")
        return benchTick(n ? n : 10);
    if (mode == u"latency")
        return benchLatency(n ? n : 200);
    if (mode == u"unplug") {
        int rc = benchUnplug(n ? n : 10);
        for (const char *option : {"--port", "--bridge"})
            rc |= benchCliUnplug(option, n ? n : 10);
        return rc;
    }
    if (mode == u"cycles")
        return benchCycles(n ? n : 1000);
    if (mode == u"table")
        return benchTable(n ? n : 500);
    if (!mode.isEmpty()) {
        std::fprintf(stderr, "usage: bench_link [tick|latency|unplug|cycles|table] [count]\n");
        return 2;
    }
    int rc = benchTick(10);
    rc |= benchLatency(200);
    rc |= benchUnplug(10);
    for (const char *option : {"--port", "--bridge"})
        rc |= benchCliUnplug(option, 10);
    return rc;
}
