#pragma once
// The demo meter: a simulated light meter behind a simulated bridge. The simulator
// makes what the display shows; the meter plays it as 32-byte frames, about two a
// second, into a pseudo-terminal that the tty bridge backend reads like a real bridge.

#include "link/pseudoterminal.h"
#include "link/ternframeencoder.h"

#include <QString>
#include <QStringList>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <random>
#include <thread>

namespace sorrel {

class TtyBridgeApi;

// A light level drifting slowly with noise, shown as an auto-ranging 2000-count light
// meter would: now and then a range or point change, an overload (0L), a switch between
// lux and fc, and the REC and power annunciators coming and going. USB stays lit.
class LightMeterSimulator {
public:
    explicit LightMeterSimulator(quint32 seed);
    TernDisplay next();

private:
    double uniform() { return std::uniform_real_distribution<double>(0.0, 1.0)(rng_); }
    double gauss(double sd) { return std::normal_distribution<double>(0.0, sd)(rng_); }

    std::mt19937 rng_;
    double lux_ = 420.0;
    bool footCandles_ = false;
    int range_ = 1;        // 0: 19.99, 1: 199.9, 2: 1999, 3: 1999 x10
    int overloadLeft_ = 0; // frames of 0L still to show
    bool rec_ = false;
    bool power_ = true;
};

class DemoMeter {
public:
    static constexpr int kFramePeriodMs = 500;

    explicit DemoMeter(quint32 seed = std::random_device{}());
    ~DemoMeter();
    DemoMeter(const DemoMeter &) = delete;
    DemoMeter &operator=(const DemoMeter &) = delete;

    // Plugging in makes a new device; false when no pseudo-terminal can be had.
    bool plug();
    // Pulling the cable: the device disappears, an open bridge loses it.
    void unplug();
    bool pluggedIn() const { return pty_ != nullptr; }
    // The device while plugged in (for the bridge backend's locator).
    QStringList devices() const;
    // The bridge backend playing this meter: exactly one bridge while plugged in.
    std::unique_ptr<TtyBridgeApi> makeBridgeApi();

    quint64 framesSent() const;

private:
    void run();

    LightMeterSimulator simulator_;
    std::unique_ptr<PseudoTerminal> pty_;
    std::thread player_;
    mutable std::mutex m_;
    std::condition_variable cv_;
    bool stop_ = false;
    quint64 sent_ = 0;
};

} // namespace sorrel
