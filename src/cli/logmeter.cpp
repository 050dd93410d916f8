#include "cli/logmeter.h"

#include "link/bridgelink.h"
#include "link/commportdriver.h"
#include "link/demometer.h"
#include "link/ttybridgeapi.h"

#include <QFileInfo>

namespace sorrel::cli {

LogMeter::LogMeter(const LogRun &run, MeterSession &session) : source_(*run.source), device_(run.device)
{
    MeterLinks::Options options;
    options.demo = source_ == Source::Demo;
    if (source_ == Source::Bridge) {
        const QString dev = device_;
        // The bridge link wants exactly one bridge present: the named one, or the one
        // found; with several it refuses and lists them.
        options.bridgeApi = std::make_unique<TtyBridgeApi>([dev, found = located_] {
            if (!dev.isEmpty())
                return QFileInfo::exists(dev) ? QStringList{dev} : QStringList{};
            const QStringList all = locateBridgeTtys();
            *found = all.size() == 1 ? all.front() : QString();
            return all;
        });
    }
    if (source_ == Source::Port)
        qputenv("SORREL_COM1", device_.toLocal8Bit()); // COMM2 starts on COM 1
    links_ = std::make_unique<MeterLinks>(session, std::move(options));
    links_->bindSerialHandler();
    if (source_ == Source::Port)
        links_->bridge().Timer1().stop(); // no bridge to poll
    else
        links_->toggles().setDown(Toggle::USB, true);
}

QString LogMeter::name() const
{
    switch (source_) {
    case Source::Port:
        return device_;
    case Source::Bridge:
        return device_.isEmpty() ? QStringLiteral("the USB bridge") : device_;
    case Source::Demo:
        return QStringLiteral("the demo meter");
    }
    return {};
}

QString LogMeter::source() const
{
    if (source_ == Source::Demo)
        return QStringLiteral("demo");
    return device_.isEmpty() ? *located_ : device_;
}

bool LogMeter::demoFailed()
{
    return source_ == Source::Demo && !links_->demoMeter()->pluggedIn();
}

bool LogMeter::open()
{
    failure_ = {};
    if (source_ == Source::Port) {
        if (links_->COMM2().Connect())
            return true;
        failure_ = links_->COMM2().lastFailure();
        return false;
    }
    quint32 n = 0;
    if (links_->bridgeApi().SI_GetNumDevices(&n) != SiStatus::Success || n == 0)
        return false;
    BridgeLink &bridge = links_->bridge();
    bridge.usb_dllClick(); // says why it did not open
    if (n > 1) {
        failure_.problem = DeviceProblem::Other; // waiting would not choose one
        return false;
    }
    if (bridge.opened() && bridge.status() == SiStatus::Success)
        return true;
    failure_ = links_->bridgeApi().lastOpenFailure();
    return false;
}

void LogMeter::tellFailure(Notifier &notifier) const
{
    if (source_ == Source::Port)
        notifier.error(withDetail(QStringLiteral("sorrel-cli log: cannot open %1").arg(device_),
                                  links_->COMM2().failureDetail()));
}

bool LogMeter::lost()
{
    if (source_ == Source::Port)
        return links_->COMM2().portLost();
    return links_->bridge().status() == SiStatus::ReadError;
}

void LogMeter::close()
{
    if (source_ == Source::Port)
        links_->COMM2().Disconnect();
    else
        links_->bridgeApi().SI_Close(links_->bridge().handle());
}

} // namespace sorrel::cli
