#include "link/hidapibackend.h"

#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <cerrno>
#include <hidapi/hidapi.h>
#include <libudev.h>

namespace sorrel {

bool reportDescriptorUsesIds(QByteArrayView d)
{
    qsizetype i = 0;
    while (i < d.size()) {
        const quint8 prefix = quint8(d[i]);
        if (prefix == 0xFE) { // long item: size in the next byte
            if (i + 1 >= d.size())
                return false;
            i += 3 + quint8(d[i + 1]);
            continue;
        }
        static constexpr int sizes[] = {0, 1, 2, 4};
        const int size = sizes[prefix & 0x03];
        // Global item (type 1), tag 8: Report ID.
        if ((prefix & 0xFC) == 0x84)
            return true;
        i += 1 + size;
    }
    return false;
}

namespace {

QString fromWide(const wchar_t *s)
{
    return s ? QString::fromWCharArray(s) : QString();
}

bool numberedReports(const QString &devnode)
{
    // /dev/hidrawN -> /sys/class/hidraw/hidrawN/device/report_descriptor
    QFile f(QStringLiteral("/sys/class/hidraw/%1/device/report_descriptor").arg(QFileInfo(devnode).fileName()));
    if (!f.open(QIODevice::ReadOnly))
        return false;
    return reportDescriptorUsesIds(f.readAll());
}

class HidapiHandle : public HidHandle {
public:
    HidapiHandle(hid_device *dev, bool numbered) : dev_(dev), numbered_(numbered) {}
    ~HidapiHandle() override { hid_close(dev_); }

    int readReport(quint8 &reportId, QByteArray &data, int timeoutMs) override
    {
        unsigned char buf[1024];
        errno = 0;
        const int n = hid_read_timeout(dev_, buf, sizeof buf, timeoutMs);
        if (n < 0) {
            error_ = errno ? errno : EIO;
            return -1;
        }
        if (n == 0)
            return 0;
        if (numbered_) {
            reportId = buf[0];
            data = QByteArray(reinterpret_cast<const char *>(buf + 1), n - 1);
        } else {
            reportId = 0;
            data = QByteArray(reinterpret_cast<const char *>(buf), n);
        }
        return 1;
    }

    int errorCode() const override { return error_; }

    bool sendFeatureReport(QByteArrayView report) override
    {
        return hid_send_feature_report(dev_, reinterpret_cast<const unsigned char *>(report.data()),
                                       size_t(report.size()))
               >= 0;
    }

private:
    hid_device *dev_;
    bool numbered_;
    int error_ = 0;
};

} // namespace

HidapiBackend::HidapiBackend(QObject *parent) : HidBackend(parent)
{
    hid_init();
    udev_ = udev_new();
    if (!udev_)
        return;
    monitor_ = udev_monitor_new_from_netlink(udev_, "udev");
    if (!monitor_)
        return;
    udev_monitor_filter_add_match_subsystem_devtype(monitor_, "hidraw", nullptr);
    if (udev_monitor_enable_receiving(monitor_) < 0) {
        udev_monitor_unref(monitor_);
        monitor_ = nullptr;
        return;
    }
    const int fd = udev_monitor_get_fd(monitor_);
    notifier_ = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &HidapiBackend::drainMonitor);
}

HidapiBackend::~HidapiBackend()
{
    delete notifier_;
    if (monitor_)
        udev_monitor_unref(monitor_);
    if (udev_)
        udev_unref(udev_);
}

void HidapiBackend::drainMonitor()
{
    bool any = false;
    while (udev_device *dev = udev_monitor_receive_device(monitor_)) {
        udev_device_unref(dev);
        any = true;
    }
    if (any)
        Q_EMIT devicesChanged();
}

QList<HidDeviceInfo> HidapiBackend::devices()
{
    QList<HidDeviceInfo> out;
    hid_device_info *list = hid_enumerate(0, 0);
    for (hid_device_info *i = list; i; i = i->next) {
        HidDeviceInfo info;
        info.path = QString::fromLocal8Bit(i->path);
        info.vendorId = i->vendor_id;
        info.productId = i->product_id;
        info.productName = fromWide(i->product_string);
        info.serialNumber = fromWide(i->serial_number);
        out.append(info);
    }
    hid_free_enumeration(list);
    return out;
}

std::unique_ptr<HidHandle> HidapiBackend::open(const QString &path)
{
    const QByteArray p = path.toLocal8Bit();
    hid_device *dev = hid_open_path(p.constData());
    if (!dev)
        return nullptr;
    return std::make_unique<HidapiHandle>(dev, numberedReports(path));
}

} // namespace sorrel
