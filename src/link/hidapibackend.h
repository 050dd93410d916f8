#pragma once
// HID devices through hidapi (hidraw), with device changes from a udev monitor on the
// hidraw subsystem.

#include "link/hidbackend.h"

class QSocketNotifier;
struct udev;
struct udev_monitor;

namespace sorrel {

// Whether a report descriptor declares report identifiers (then every input report
// starts with one; otherwise the identifier is 0 and not sent).
bool reportDescriptorUsesIds(QByteArrayView descriptor);

class HidapiBackend : public HidBackend {
    Q_OBJECT
public:
    explicit HidapiBackend(QObject *parent = nullptr);
    ~HidapiBackend() override;

    QList<HidDeviceInfo> devices() override;
    std::unique_ptr<HidHandle> open(const QString &path) override;

    // False where the system offers no device-change notifications (no udev daemon).
    bool watchesChanges() const { return notifier_ != nullptr; }

private:
    void drainMonitor();

    udev *udev_ = nullptr;
    udev_monitor *monitor_ = nullptr;
    QSocketNotifier *notifier_ = nullptr;
};

} // namespace sorrel
