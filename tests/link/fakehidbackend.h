#pragma once
// HID devices in memory: the test queues input reports and read failures, plugs and
// pulls devices, and sees the feature reports sent.

#include "link/hidbackend.h"

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <variant>

struct FakeHidDevice {
    explicit FakeHidDevice(sorrel::HidDeviceInfo i) : info(std::move(i)) {}
    sorrel::HidDeviceInfo info;
    bool openable = true;

    std::mutex m;
    std::condition_variable cv;
    // A report (id, data) or a read failure (error code).
    std::deque<std::variant<std::pair<quint8, QByteArray>, int>> input;
    QList<QByteArray> features;
    bool gone = false;
    std::atomic<int> inCall{0};
    std::atomic<bool> overlapped{false};

    void push(quint8 id, QByteArray data)
    {
        {
            std::lock_guard lock(m);
            input.emplace_back(std::make_pair(id, std::move(data)));
        }
        cv.notify_all();
    }
    void pushError(int code)
    {
        {
            std::lock_guard lock(m);
            input.emplace_back(code);
        }
        cv.notify_all();
    }
    size_t pending()
    {
        std::lock_guard lock(m);
        return input.size();
    }
};

class FakeHidHandle : public sorrel::HidHandle {
public:
    explicit FakeHidHandle(std::shared_ptr<FakeHidDevice> d) : d_(std::move(d)) {}

    int readReport(quint8 &reportId, QByteArray &data, int timeoutMs) override
    {
        Guard g(*d_);
        std::unique_lock lock(d_->m);
        d_->cv.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                        [&] { return !d_->input.empty() || d_->gone; });
        if (d_->gone) {
            error_ = ENODEV;
            return -1;
        }
        if (d_->input.empty())
            return 0;
        auto item = d_->input.front();
        d_->input.pop_front();
        if (auto *code = std::get_if<int>(&item)) {
            error_ = *code;
            return -1;
        }
        auto &report = std::get<std::pair<quint8, QByteArray>>(item);
        reportId = report.first;
        data = report.second;
        return 1;
    }
    int errorCode() const override { return error_; }
    bool sendFeatureReport(QByteArrayView report) override
    {
        Guard g(*d_);
        std::lock_guard lock(d_->m);
        d_->features.append(report.toByteArray());
        return !d_->gone;
    }

private:
    // Notes calls on one device that overlap: the device layer must serialise them.
    struct Guard {
        explicit Guard(FakeHidDevice &d) : d(d)
        {
            if (d.inCall.fetch_add(1) != 0)
                d.overlapped = true;
        }
        ~Guard() { d.inCall.fetch_sub(1); }
        FakeHidDevice &d;
    };
    std::shared_ptr<FakeHidDevice> d_;
    int error_ = 0;
};

class FakeHidBackend : public sorrel::HidBackend {
public:
    std::shared_ptr<FakeHidDevice> add(const QString &path, const QString &product, quint16 vid = 0x04D9,
                                       quint16 pid = 0xE000, const QString &serial = {})
    {
        auto d = std::make_shared<FakeHidDevice>(sorrel::HidDeviceInfo{path, vid, pid, product, serial});
        present.append(d);
        return d;
    }
    // Plug in after the controller exists: the platform then says nodes changed.
    std::shared_ptr<FakeHidDevice> plug(const QString &path, const QString &product)
    {
        auto d = add(path, product);
        Q_EMIT devicesChanged();
        return d;
    }
    void unplug(const std::shared_ptr<FakeHidDevice> &d)
    {
        {
            std::lock_guard lock(d->m);
            d->gone = true;
        }
        d->cv.notify_all();
        present.removeAll(d);
        Q_EMIT devicesChanged();
    }

    QList<sorrel::HidDeviceInfo> devices() override
    {
        QList<sorrel::HidDeviceInfo> out;
        for (const auto &d : present)
            out.append(d->info);
        return out;
    }
    std::unique_ptr<sorrel::HidHandle> open(const QString &path) override
    {
        for (const auto &d : present)
            if (d->info.path == path && d->openable)
                return std::make_unique<FakeHidHandle>(d);
        return nullptr;
    }

    QList<std::shared_ptr<FakeHidDevice>> present;
};
