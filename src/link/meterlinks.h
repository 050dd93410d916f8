#pragma once
// Every instrument link of one program run, wired to the meter session: the serial
// driver and its connection control, the HID cable, the USB bridge (real or the demo
// meter's) and the connection watchdog. The window builds its controls over these;
// a headless tool can drive them directly.

#include "link/bridgeapi.h"
#include "link/hidbackend.h"
#include "link/togglegroup.h"

#include <QObject>
#include <memory>

namespace sorrel {

class BridgeLink;
class DemoMeter;
class HidLink;
class LinkWatchdog;
class MeterPort;
class SerialConnection;
class TCommPortDriver;
class TJvHidDeviceController;

class MeterLinks : public QObject {
    Q_OBJECT
public:
    struct Options {
        bool demo = false;                      // the demo meter as the one bridge present
        std::unique_ptr<HidBackend> hidBackend; // null: hidapi and udev
        std::unique_ptr<BridgeApi> bridgeApi;   // null: tty bridges (or the demo's)
    };

    MeterLinks(MeterPort &session, Options options, QObject *parent = nullptr);
    ~MeterLinks() override;

    // Start-up: the profile's frame handler on COMM2's receive event, and its speed.
    void bindSerialHandler();

    ToggleGroup &toggles() { return toggles_; }
    TCommPortDriver &COMM2() { return *comm2_; }
    TCommPortDriver &CommPortDriver1() { return *commPortDriver1_; }
    SerialConnection &serial() { return *serial_; }
    TJvHidDeviceController &HidCtl() { return *hidCtl_; }
    HidLink &hid() { return *hid_; }
    BridgeApi &bridgeApi() { return *bridgeApi_; }
    BridgeLink &bridge() { return *bridge_; }
    LinkWatchdog &watchdog() { return *watchdog_; }
    DemoMeter *demoMeter() { return demo_.get(); }

private:
    MeterPort &session_;
    ToggleGroup toggles_;
    // Declared in the order they are built; torn down in reverse.
    std::unique_ptr<DemoMeter> demo_;
    std::unique_ptr<TCommPortDriver> comm2_;
    std::unique_ptr<TCommPortDriver> commPortDriver1_;
    std::unique_ptr<SerialConnection> serial_;
    std::unique_ptr<HidBackend> hidBackend_;
    std::unique_ptr<TJvHidDeviceController> hidCtl_;
    std::unique_ptr<HidLink> hid_;
    std::unique_ptr<BridgeApi> bridgeApi_;
    std::unique_ptr<BridgeLink> bridge_;
    std::unique_ptr<LinkWatchdog> watchdog_;
};

} // namespace sorrel
