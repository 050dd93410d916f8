#include "link/meterlinks.h"

#include "link/bridgelink.h"
#include "link/commportdriver.h"
#include "link/demometer.h"
#include "link/hidapibackend.h"
#include "link/hiddevicecontroller.h"
#include "link/hidlink.h"
#include "link/linkwatchdog.h"
#include "link/meterport.h"
#include "link/serialconnection.h"
#include "link/ttybridgeapi.h"

namespace sorrel {

MeterLinks::MeterLinks(MeterPort &session, Options options, QObject *parent) : QObject(parent), session_(session)
{
    Notifier &notifier = session_.notifier();
    if (options.demo) {
        demo_ = std::make_unique<DemoMeter>();
        demo_->plug();
    }

    comm2_ = std::make_unique<TCommPortDriver>();
    comm2_->setComPort(pnCOM1);
    comm2_->setComPortSpeed(br2400);
    commPortDriver1_ = std::make_unique<TCommPortDriver>();
    serial_ = std::make_unique<SerialConnection>(*comm2_, toggles_, notifier);

    hidBackend_ = options.hidBackend ? std::move(options.hidBackend) : std::make_unique<HidapiBackend>();
    hidCtl_ = std::make_unique<TJvHidDeviceController>(*hidBackend_);
    // Attaching the handlers lists the devices, as building the window does.
    hid_ = std::make_unique<HidLink>(*hidCtl_, toggles_, notifier, session_.profile());
    connect(hid_.get(), &HidLink::frameReceived, this,
            [this](const QString &frame) { session_.dispatchHidFrame(frame); });

    if (options.bridgeApi)
        bridgeApi_ = std::move(options.bridgeApi);
    else if (demo_)
        bridgeApi_ = demo_->makeBridgeApi();
    else
        bridgeApi_ = std::make_unique<TtyBridgeApi>();
    bridge_ = std::make_unique<BridgeLink>(*bridgeApi_, session_, toggles_);
    connect(bridge_.get(), &BridgeLink::frameReceived, this,
            [this](const QString &frame) { session_.dispatchBridgeFrame(frame); });

    watchdog_ = std::make_unique<LinkWatchdog>(session_, hid_.get());
}

MeterLinks::~MeterLinks()
{
    watchdog_.reset();
    bridge_.reset();
    bridgeApi_.reset();
    hid_.reset();
    hidCtl_.reset();
    hidBackend_.reset();
    serial_.reset();
    commPortDriver1_.reset();
    comm2_.reset();
    demo_.reset();
}

void MeterLinks::bindSerialHandler()
{
    const Profile &profile = session_.profile();
    comm2_->setComPortSpeed(baudRateFor(profile.serialBaud));
    if (profile.handler == FrameHandler::None) {
        comm2_->OnReceiveData = nullptr;
        return;
    }
    comm2_->OnReceiveData = [this](TCommPortDriver *, const char *data, int size) {
        session_.receiveSerial(QByteArrayView(data, size));
    };
}

} // namespace sorrel
