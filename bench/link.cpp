// bench_link: instrument links over pseudo-terminals.
//   bench_link tick [seconds]     main-thread busy time per 10 ms bridge tick, bridge open and idle
//   bench_link latency [frames]   last byte in -> frame out, serial driver and bridge, 19200 baud pacing
//   bench_link unplug [seconds]   cables pulled while reading: process CPU, then a reconnect
//   bench_link cycles [n]         n unplug/replug cycles of the serial and bridge paths
// With no argument: tick, latency and unplug.

#include "app/metersession.h"
#include "link/bridgelink.h"
#include "link/commportdriver.h"
#include "link/demometer.h"
#include "link/pseudoterminal.h"
#include "link/serialconnection.h"
#include "link/ternframeencoder.h"
#include "link/togglegroup.h"
#include "link/ttybridgeapi.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
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
    return int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System).size());
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
// notes when each frame's last byte went in.
class PacedWriter {
public:
    PacedWriter(PseudoTerminal &pty, QByteArray frame, int frames)
        : pty_(pty), frame_(std::move(frame)), frames_(frames) {}

    void start() { thread_ = std::thread([this] { run(); }); }
    void join() { thread_.join(); }
    std::vector<Clock::time_point> lastByteAt;
    std::atomic<int> written{0};
    std::atomic<int> consumed{0};

private:
    void run()
    {
        std::mt19937 rng(1);
        std::uniform_int_distribution<int> gap(30, 90);
        const auto byteTime = std::chrono::microseconds(10'000'000 / 19200);
        lastByteAt.resize(size_t(frames_));
        for (int f = 0; f < frames_; ++f) {
            // Wait for the previous frame to come out, then a random pause.
            while (consumed.load() < f)
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            std::this_thread::sleep_for(std::chrono::milliseconds(gap(rng)));
            auto next = Clock::now();
            for (char b : frame_) {
                std::this_thread::sleep_until(next);
                pty_.write(QByteArrayView(&b, 1));
                next += byteTime;
            }
            lastByteAt[size_t(f)] = Clock::now();
            written = f + 1;
        }
    }
    PseudoTerminal &pty_;
    QByteArray frame_;
    int frames_;
    std::thread thread_;
};

void report(const char *what, std::vector<double> ms)
{
    std::printf("%s: %zu frames, latency last byte in -> frame decoded: p50 %.1f ms, p99 %.1f ms, max %.1f ms\n",
                what, ms.size(), percentile(ms, 50), percentile(ms, 99), *std::max_element(ms.begin(), ms.end()));
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
        QObject::connect(&h.session, &MeterSession::frameDecoded, [&] {
            const int f = writer.consumed.load();
            ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - writer.lastByteAt[size_t(f)]).count());
            writer.consumed = f + 1;
        });
        if (!driver.Connect()) {
            std::fprintf(stderr, "serial port did not open\n");
            return 1;
        }
        writer.start();
        spinUntil([&] { return writer.consumed.load() >= frames; }, frames * 300);
        writer.consumed = frames; // let the writer finish if frames were lost
        writer.join();
        report("serial (14-byte frames, 50 ms polling)", ms);
        qunsetenv("SORREL_COM1");
    }

    { // Bridge: 32-byte frames, the 10 ms poll.
        Headless h;
        PseudoTerminal pty;
        TtyBridgeApi api([&] { return QStringList{pty.slavePath()}; });
        BridgeLink link(api, h.session, h.toggles);
        PacedWriter writer(pty, encodeTernBridgeFrame(d), frames);
        std::vector<double> ms;
        link.onFrame = [&](const QString &frame) { h.session.dispatchBridgeFrame(frame); };
        QObject::connect(&h.session, &MeterSession::frameDecoded, [&] {
            const int f = writer.consumed.load();
            ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - writer.lastByteAt[size_t(f)]).count());
            writer.consumed = f + 1;
        });
        usb(link, h.toggles, true);
        writer.start();
        spinUntil([&] { return writer.consumed.load() >= frames; }, frames * 300);
        writer.consumed = frames;
        writer.join();
        report("bridge (32-byte frames, 10 ms poll)", ms);
        usb(link, h.toggles, false);
    }
    return 0;
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
    bridge.onFrame = [&](const QString &) { ++bridgeFrames; };
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
    QObject::connect(&feeder, &QTimer::timeout, [&] { if (pty) pty->write(frame); });
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
    bridge.onFrame = [&](const QString &) { ++bridgeFrames; };

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
    std::printf("%d unplug/replug cycles (serial and bridge): %d missed frames, %lld messages, "
                "open fds %d at start, %d after the first cycle, %d at the end; CPU %.0f ms over %lld ms (%.1f%%)\n",
                n, failures, qlonglong(h.notifier.messages.size()), fd0Raw, fdAfterFirst, openFds(), cpu,
                wall.elapsed(), 100.0 * cpu / double(wall.elapsed()));
    qunsetenv("SORREL_COM1");
    return failures == 0 && openFds() == fdAfterFirst ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    const QString mode = args.value(0);
    const int n = args.value(1).toInt();
    if (mode == u"tick")
        return benchTick(n ? n : 10);
    if (mode == u"latency")
        return benchLatency(n ? n : 200);
    if (mode == u"unplug")
        return benchUnplug(n ? n : 10);
    if (mode == u"cycles")
        return benchCycles(n ? n : 1000);
    if (!mode.isEmpty()) {
        std::fprintf(stderr, "usage: bench_link [tick|latency|unplug|cycles] [count]\n");
        return 2;
    }
    int rc = benchTick(10);
    rc |= benchLatency(200);
    rc |= benchUnplug(10);
    return rc;
}
