#include "link/hiddevicecontroller.h"

#include <QMetaObject>
#include <QPointer>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <thread>

namespace sorrel {

// The read loop of one device. It reads in slices of 100 ms so that a stop request is
// seen promptly, and after each report it waits until the main thread has handled it.
struct HidReadThread {
    struct Shared {
        std::mutex m;
        std::condition_variable cv;
        bool stop = false;
        bool handled = true;
    };

    static constexpr int kSliceMs = 100;

    HidReadThread(TJvHidDevice &device) : shared(std::make_shared<Shared>())
    {
        QPointer<TJvHidDevice> target(&device);
        std::shared_ptr<HidHandle> handle = device.handle_;
        std::shared_ptr<std::mutex> io = device.io_;
        thread = std::thread([s = shared, target, handle, io] { run(s, target, handle, io); });
    }

    ~HidReadThread()
    {
        {
            std::lock_guard lock(shared->m);
            shared->stop = true;
        }
        shared->cv.notify_all();
        thread.join();
    }

    static void run(std::shared_ptr<Shared> s, QPointer<TJvHidDevice> target, std::shared_ptr<HidHandle> handle,
                    std::shared_ptr<std::mutex> io)
    {
        // The device object lives on the main thread; the thread only names it as the
        // receiver of its hand-overs and never touches it.
        QObject *receiver = target.data();
        for (;;) {
            {
                std::lock_guard lock(s->m);
                if (s->stop)
                    return;
            }
            quint8 reportId = 0;
            QByteArray data;
            int result;
            int code = 0;
            {
                std::lock_guard lock(*io);
                result = handle->readReport(reportId, data, kSliceMs);
                if (result < 0)
                    code = handle->errorCode();
            }
            if (result == 0)
                continue;
            {
                std::lock_guard lock(s->m);
                if (s->stop)
                    return;
                s->handled = false;
            }
            auto done = [s] {
                {
                    std::lock_guard lock(s->m);
                    s->handled = true;
                }
                s->cv.notify_all();
            };
            auto stopping = [s] {
                std::lock_guard lock(s->m);
                return s->stop;
            };
            // Released however the handler ends: one that throws must not leave this
            // thread waiting for a hand-over that never completes.
            struct DoneGuard {
                decltype(done) call;
                ~DoneGuard() { call(); }
            };
            if (result > 0) {
                QMetaObject::invokeMethod(
                    receiver,
                    [target, reportId, data, done, stopping] {
                        const DoneGuard guard{done};
                        if (target && !stopping()) {
                            TJvHidDevice::DataEvent handler = target->onData_;
                            if (handler)
                                handler(target.data(), reportId, data);
                        }
                    },
                    Qt::QueuedConnection);
            } else {
                QMetaObject::invokeMethod(
                    receiver,
                    [target, code, done, stopping] {
                        const DoneGuard guard{done};
                        if (target && !stopping())
                            target->controller_.reportDataError(target.data(), code);
                    },
                    Qt::QueuedConnection);
            }
            std::unique_lock lock(s->m);
            s->cv.wait(lock, [&] { return s->handled || s->stop; });
            // A failed read is not retried at once: a gone device would flood the
            // history; the device-change pass stops this thread soon after.
            if (result < 0)
                s->cv.wait_for(lock, std::chrono::milliseconds(kSliceMs), [&] { return s->stop; });
        }
    }

    std::shared_ptr<Shared> shared;
    std::thread thread;
};

// ---------------------------------------------------------------------------

TJvHidDevice::TJvHidDevice(TJvHidDeviceController &controller, HidDeviceInfo info)
    : controller_(controller), info_(std::move(info))
{}

TJvHidDevice::~TJvHidDevice()
{
    stopReading();
}

bool TJvHidDevice::HasReadWriteAccess()
{
    if (handle_)
        return true;
    if (!pluggedIn_)
        return false;
    std::unique_ptr<HidHandle> h = controller_.backend().open(info_.path);
    openRefused_ = !h;
    handle_ = std::move(h);
    return handle_ != nullptr;
}

bool TJvHidDevice::SetFeature(QByteArrayView report)
{
    if (!HasReadWriteAccess())
        return false;
    std::lock_guard lock(*io_);
    return handle_->sendFeatureReport(report);
}

void TJvHidDevice::setOnData(DataEvent handler)
{
    onData_ = std::move(handler);
    if (!onData_) {
        stopReading();
        return;
    }
    startReading();
}

void TJvHidDevice::clearOnData()
{
    setOnData(nullptr);
}

void TJvHidDevice::startReading()
{
    if (reader_ || !checkedOut_ || !HasReadWriteAccess())
        return;
    reader_ = std::make_unique<HidReadThread>(*this);
}

void TJvHidDevice::stopReading()
{
    reader_.reset();
}

void TJvHidDevice::CloseFile()
{
    stopReading();
    std::lock_guard lock(*io_);
    handle_.reset();
}

// ---------------------------------------------------------------------------

TJvHidDeviceController::TJvHidDeviceController(HidBackend &backend, QObject *parent)
    : QObject(parent), backend_(backend)
{
    for (HidDeviceInfo &info : backend_.devices())
        devices_.emplace_back(new TJvHidDevice(*this, std::move(info)));
    connect(&backend_, &HidBackend::devicesChanged, this, &TJvHidDeviceController::DeviceChange);
}

TJvHidDeviceController::~TJvHidDeviceController()
{
    for (auto &d : devices_)
        d->CloseFile();
    for (auto &d : departed_)
        d->CloseFile();
}

void TJvHidDeviceController::Enumerate()
{
    for (size_t i = 0; i < devices_.size(); ++i)
        if (OnEnumerate && !OnEnumerate(devices_[i].get(), int(i)))
            break;
}

TJvHidDevice *TJvHidDeviceController::CheckOutByIndex(int index)
{
    if (index < 0 || index >= int(devices_.size()))
        return nullptr;
    TJvHidDevice *d = devices_[size_t(index)].get();
    if (d->checkedOut_)
        return nullptr;
    d->checkedOut_ = true;
    return d;
}

void TJvHidDeviceController::CheckIn(TJvHidDevice *&device)
{
    if (!device)
        return;
    device->onData_ = nullptr;
    device->CloseFile();
    device->checkedOut_ = false;
    auto it = std::find_if(departed_.begin(), departed_.end(), [&](const auto &d) { return d.get() == device; });
    if (it != departed_.end())
        departed_.erase(it);
    device = nullptr;
}

void TJvHidDeviceController::DeviceChange()
{
    const QList<HidDeviceInfo> present = backend_.devices();
    auto isPresent = [&](const QString &path) {
        return std::any_of(present.begin(), present.end(), [&](const HidDeviceInfo &i) { return i.path == path; });
    };

    // Removals first, in list order.
    for (auto it = devices_.begin(); it != devices_.end();) {
        if (isPresent((*it)->info_.path)) {
            ++it;
            continue;
        }
        std::unique_ptr<TJvHidDevice> gone = std::move(*it);
        it = devices_.erase(it);
        gone->pluggedIn_ = false;
        gone->CloseFile();
        if (OnRemoval)
            OnRemoval(gone.get());
        // A device still lent out stays alive until it is checked in.
        if (gone->checkedOut_)
            departed_.push_back(std::move(gone));
    }

    for (const HidDeviceInfo &info : present) {
        const bool known = std::any_of(devices_.begin(), devices_.end(),
                                       [&](const auto &d) { return d->info_.path == info.path; });
        if (known)
            continue;
        devices_.emplace_back(new TJvHidDevice(*this, info));
        if (OnArrival)
            OnArrival(devices_.back().get());
    }

    Q_EMIT devicesChanged();
}

void TJvHidDeviceController::reportDataError(TJvHidDevice *device, int code)
{
    if (OnDeviceDataError)
        OnDeviceDataError(device, code);
}

QString TJvHidDeviceController::errorText(int code)
{
    return qt_error_string(code);
}

} // namespace sorrel
