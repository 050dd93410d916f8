#pragma once
// TJvHidDeviceController keeps one TJvHidDevice per HID device present, tells arrivals
// and removals, lends devices out by check-out, and runs one read thread per device
// being read. Each report is handed to the main thread, and the thread waits until it
// has been handled, so handlers need no locks.

#include "link/hidbackend.h"

#include <QObject>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace sorrel {

class TJvHidDeviceController;
struct HidReadThread;

class TJvHidDevice : public QObject {
    Q_OBJECT
public:
    using DataEvent = std::function<void(TJvHidDevice *, quint8 reportId, QByteArrayView data)>;

    ~TJvHidDevice() override;

    const HidDeviceInfo &info() const { return info_; }
    QString ProductName() const { return info_.productName; }
    QString SerialNumber() const { return info_.serialNumber; }
    quint16 VendorID() const { return info_.vendorId; }
    quint16 ProductID() const { return info_.productId; }
    bool IsCheckedOut() const { return checkedOut_; }
    bool IsPluggedIn() const { return pluggedIn_; }

    // Opens the device for reading and writing if it is not open yet.
    bool HasReadWriteAccess();
    // Opens the device if needed; false when it is refused.
    bool SetFeature(QByteArrayView report);
    // Setting a handler on a checked-out, readable device starts its read thread;
    // clearing it stops the thread and waits for it.
    void setOnData(DataEvent handler);
    void clearOnData();
    bool isReading() const { return reader_ != nullptr; }
    void CloseFile();

private:
    friend class TJvHidDeviceController;
    friend struct HidReadThread;
    TJvHidDevice(TJvHidDeviceController &controller, HidDeviceInfo info);
    void startReading();
    void stopReading();

    TJvHidDeviceController &controller_;
    HidDeviceInfo info_;
    bool checkedOut_ = false;
    bool pluggedIn_ = true;
    bool openRefused_ = false;
    // Shared with the read thread; the mutex serialises every call on the handle.
    std::shared_ptr<HidHandle> handle_;
    std::shared_ptr<std::mutex> io_ = std::make_shared<std::mutex>();
    DataEvent onData_;
    std::unique_ptr<HidReadThread> reader_;
};

class TJvHidDeviceController : public QObject {
    Q_OBJECT
public:
    explicit TJvHidDeviceController(HidBackend &backend, QObject *parent = nullptr);
    ~TJvHidDeviceController() override;

    HidBackend &backend() { return backend_; }

    // (device, index) -> continue?
    std::function<bool(TJvHidDevice *, int)> OnEnumerate;
    std::function<void(TJvHidDevice *)> OnArrival;
    std::function<void(TJvHidDevice *)> OnRemoval;
    std::function<void(TJvHidDevice *, int error)> OnDeviceDataError;

    // Calls OnEnumerate for each device present, in list order.
    void Enumerate();
    int count() const { return int(devices_.size()); }
    // Exclusive use of the device at index; null when there is none or it is out.
    TJvHidDevice *CheckOutByIndex(int index);
    // Gives a device back: its reading stops, it is closed; a device that has left
    // is freed. The pointer is cleared.
    void CheckIn(TJvHidDevice *&device);
    // Compares with the devices present: removals, arrivals, then devicesChanged().
    void DeviceChange();

    // The system's text for an error code.
    static QString errorText(int code);

Q_SIGNALS:
    // OnDeviceChange: the end of each DeviceChange() pass.
    void devicesChanged();

private:
    friend class TJvHidDevice;
    friend struct HidReadThread;
    void reportDataError(TJvHidDevice *device, int code);

    HidBackend &backend_;
    std::vector<std::unique_ptr<TJvHidDevice>> devices_;  // present, in arrival order
    std::vector<std::unique_ptr<TJvHidDevice>> departed_; // gone while checked out
};

} // namespace sorrel
