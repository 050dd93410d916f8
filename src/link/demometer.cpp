#include "link/demometer.h"

#include "link/ttybridgeapi.h"

#include <algorithm>
#include <cmath>

namespace sorrel {

namespace {

constexpr double kLuxPerFootCandle = 10.764;

struct Range {
    double top;   // highest value shown
    int point;    // point after this digit, 0 none
    double scale; // value * scale = counts
    bool x10;
};
constexpr Range kRanges[] = {
    {19.99, 2, 100.0, false},
    {199.9, 3, 10.0, false},
    {1999.0, 0, 1.0, false},
    {19990.0, 0, 0.1, true},
};
constexpr int kRangeCount = 4;

} // namespace

LightMeterSimulator::LightMeterSimulator(quint32 seed) : rng_(seed)
{}

TernDisplay LightMeterSimulator::next()
{
    // Slow drift with a little jitter; now and then the light changes at a stroke.
    lux_ *= std::exp(gauss(0.01));
    if (uniform() < 0.02)
        lux_ *= uniform() < 0.5 ? 0.2 : 5.0;
    lux_ = std::clamp(lux_, 1.0, 150000.0);
    if (uniform() < 0.012)
        footCandles_ = !footCandles_;
    if (uniform() < 0.02)
        rec_ = !rec_;
    if (uniform() < 0.01)
        power_ = !power_;
    if (overloadLeft_ == 0 && uniform() < 0.015)
        overloadLeft_ = 3;

    TernDisplay d;
    d.set(TernBit::USB);
    d.set(TernBit::auto_);
    d.set(TernBit::REC, rec_);
    d.set(TernBit::power, power_);
    d.set(footCandles_ ? TernBit::FC : TernBit::LUX);

    if (overloadLeft_ > 0) {
        --overloadLeft_;
        d.glyphs = {' ', '0', 'L', ' '};
        return d;
    }

    const double value = (footCandles_ ? lux_ / kLuxPerFootCandle : lux_) * (1.0 + gauss(0.002));
    // Auto-ranging with some hysteresis, as a meter does.
    while (range_ < kRangeCount - 1 && value > kRanges[range_].top)
        ++range_;
    while (range_ > 0 && value < kRanges[range_ - 1].top * 0.9)
        --range_;
    const Range &r = kRanges[range_];
    const int counts = std::clamp(int(std::lround(value * r.scale)), 0, 1999);
    d.set(TernBit::X10, r.x10);
    d.point = r.point;

    // Four digits; leading zeros blank up to the digit before the point.
    const int firstShown = r.point ? r.point - 1 : 3;
    const QString digits = QStringLiteral("%1").arg(counts, 4, 10, QLatin1Char('0'));
    bool leading = true;
    for (int i = 0; i < 4; ++i) {
        const char c = char(digits.at(i).unicode());
        if (leading && c == '0' && i < firstShown) {
            d.glyphs[size_t(i)] = ' ';
            continue;
        }
        leading = false;
        d.glyphs[size_t(i)] = c;
    }
    return d;
}

// ---------------------------------------------------------------------------

DemoMeter::DemoMeter(quint32 seed) : simulator_(seed)
{}

DemoMeter::~DemoMeter()
{
    unplug();
}

bool DemoMeter::plug()
{
    if (pluggedIn())
        return true;
    auto pty = std::make_unique<PseudoTerminal>();
    if (!pty->isOpen())
        return false;
    pty_ = std::move(pty);
    {
        std::lock_guard lock(m_);
        stop_ = false;
    }
    player_ = std::thread([this] { run(); });
    return true;
}

void DemoMeter::unplug()
{
    if (!pluggedIn())
        return;
    {
        std::lock_guard lock(m_);
        stop_ = true;
    }
    cv_.notify_all();
    player_.join();
    pty_.reset();
}

QStringList DemoMeter::devices() const
{
    return pty_ ? QStringList{pty_->slavePath()} : QStringList{};
}

std::unique_ptr<TtyBridgeApi> DemoMeter::makeBridgeApi()
{
    return std::make_unique<TtyBridgeApi>([this] { return devices(); });
}

quint64 DemoMeter::framesSent() const
{
    std::lock_guard lock(m_);
    return sent_;
}

void DemoMeter::run()
{
    std::unique_lock lock(m_);
    while (!stop_) {
        const QByteArray frame = encodeTernBridgeFrame(simulator_.next());
        lock.unlock();
        // Nobody reading: the pseudo-terminal fills and the write is refused, as a
        // bridge with no host drops what it cannot pass on.
        const bool written = pty_->write(frame);
        lock.lock();
        if (written)
            ++sent_;
        cv_.wait_for(lock, std::chrono::milliseconds(kFramePeriodMs), [this] { return stop_; });
    }
}

} // namespace sorrel
