#include "link/hidlink.h"

#include "base/notifier.h"
#include "base/profile.h"
#include "link/hiddevicecontroller.h"
#include "link/togglegroup.h"

namespace sorrel {

namespace {

QString hex(quint32 value, int width)
{
    return QStringLiteral("%1").arg(value, width, 16, QLatin1Char('0')).toUpper();
}

} // namespace

QString hidDeviceDescription(const TJvHidDevice &device)
{
    QString text = device.ProductName();
    if (text.isEmpty())
        text = QStringLiteral("Device VID=%1 PID=%2").arg(hex(device.VendorID(), 4), hex(device.ProductID(), 4));
    if (!device.SerialNumber().isEmpty())
        text += QStringLiteral(" (Serial=%1)").arg(device.SerialNumber());
    return text;
}

QByteArray rateFeatureReport(int rate)
{
    QByteArray r(10, '\0');
    for (int i = 0; i < 4; ++i)
        r[1 + i] = char((quint32(rate) >> (8 * i)) & 0xFF);
    r[5] = 0x03;
    return r;
}

HidLink::HidLink(TJvHidDeviceController &controller, ToggleGroup &toggles, Notifier &notifier,
                 const Profile &profile, QObject *parent)
    : QObject(parent), controller_(controller), toggles_(toggles), notifier_(notifier), hidRate_(profile.hidRate),
      hidReading_(profile.hidReading)
{
    controller_.OnEnumerate = [this](TJvHidDevice *d, int i) { return HidCtlEnumerate(d, i); };
    controller_.OnArrival = [this](TJvHidDevice *d) { HidCtlArrival(d); };
    controller_.OnRemoval = [this](TJvHidDevice *d) { HidCtlRemoval(d); };
    controller_.OnDeviceDataError = [this](TJvHidDevice *d, int e) { HidCtlDeviceDataError(d, e); };
    connect(&controller_, &TJvHidDeviceController::devicesChanged, this, &HidLink::HidCtlDeviceChange);
    // The first pass, as building the window runs it.
    controller_.DeviceChange();
}

HidLink::~HidLink()
{
    controller_.OnEnumerate = nullptr;
    controller_.OnArrival = nullptr;
    controller_.OnRemoval = nullptr;
    controller_.OnDeviceDataError = nullptr;
    disconnect(&controller_, nullptr, this, nullptr);
    releaseItems();
}

void HidLink::selectItem(int index)
{
    selected_ = index >= 0 && index < items_.size() ? index : -1;
}

TJvHidDevice *HidLink::selectedDevice() const
{
    return selected_ >= 0 && selected_ < items_.size() ? items_.at(selected_).device : nullptr;
}

void HidLink::addHistory(const QString &line)
{
    history_.append(line);
    if (history_.size() > kLineLimit)
        history_.remove(0, history_.size() - kLineLimit);
    Q_EMIT historyLineAdded(line);
}

bool HidLink::HidCtlEnumerate(TJvHidDevice *device, int index)
{
    Item item;
    item.text = hidDeviceDescription(*device);
    item.device = controller_.CheckOutByIndex(index);
    items_.append(item);
    return true;
}

void HidLink::releaseItems()
{
    for (Item &item : items_)
        controller_.CheckIn(item.device);
    items_.clear();
    selected_ = -1;
    // The device read last may have been freed with its item.
    current_ = nullptr;
}

void HidLink::HidCtlDeviceChange()
{
    toggles_.setDown(Toggle::ReadBtn, false);
    ReadBtnClick();
    releaseItems();
    controller_.Enumerate();
    for (int i = 0; i < items_.size(); ++i)
        if (items_.at(i).text == u"USB to Serial")
            selected_ = i;
    Q_EMIT itemsChanged();
}

void HidLink::HidCtlArrival(TJvHidDevice *device)
{
    addHistory(QStringLiteral("Arrival of ") + hidDeviceDescription(*device));
}

void HidLink::HidCtlRemoval(TJvHidDevice *device)
{
    addHistory(QStringLiteral("Removal of ") + hidDeviceDescription(*device));
}

void HidLink::HidCtlDeviceDataError(TJvHidDevice *, int error)
{
    addHistory(QStringLiteral("READ ERROR: %1 (%2)")
                   .arg(TJvHidDeviceController::errorText(error), QString::number(error, 16).toUpper()));
}

void HidLink::attachReportHandler(TJvHidDevice *device)
{
    device->setOnData([this](TJvHidDevice *d, quint8 id, QByteArrayView data) { reportHandler(d, id, data); });
}

void HidLink::USBConClick()
{
    ReadBtnClick();
    SetFeatureClick();
    joiner_.resetIdleReportCount();
    // Bytes of a burst cut short before this start must not prefix its first frame.
    joiner_.clear();
    current_ = nullptr;
    TJvHidDevice *device = selectedDevice();
    if (!device)
        return;
    current_ = device;
    if (!device->HasReadWriteAccess()) {
        toggles_.setDown(Toggle::USBCon, false);
        return;
    }
    if (toggles_.isDown(Toggle::USBCon)) {
        if (hidReading_)
            attachReportHandler(device);
    } else {
        device->clearOnData();
    }
}

void HidLink::ReadBtnClick()
{
    current_ = nullptr;
    TJvHidDevice *device = selectedDevice();
    if (!device)
        return;
    current_ = device;
    if (!device->HasReadWriteAccess()) {
        toggles_.setDown(Toggle::ReadBtn, false);
        return;
    }
    if (toggles_.isDown(Toggle::ReadBtn))
        attachReportHandler(device);
    else
        device->clearOnData();
}

void HidLink::SetFeatureClick()
{
    current_ = nullptr;
    TJvHidDevice *device = selectedDevice();
    if (!device) {
        notifier_.information(
            QStringLiteral("USB interface cable is not securely connected, please check and re-try."));
        toggles_.setDown(Toggle::USBCon, false);
        return;
    }
    current_ = device;
    const QByteArray report = rateFeatureReport(hidRate_);
    device->SetFeature(report);
    QString line;
    for (int i = 1; i <= 9; ++i)
        line += hex(quint8(report.at(i)), 2) + u' ';
    addHistory(line);
}

void HidLink::ClearBtnClick()
{
    history_.clear();
    Q_EMIT historyCleared();
}

void HidLink::reportHandler(TJvHidDevice *, quint8 reportId, QByteArrayView data)
{
    const HidBurstJoiner::Report out = joiner_.feed(reportId, data);
    if (out.payload)
        addHistory(out.line);
    if (out.frameText) {
        usbTxt_ = *out.frameText;
        Q_EMIT usbTxtChanged(usbTxt_);
        memo1_.append(usbTxt_);
        if (memo1_.size() > kLineLimit)
            memo1_.remove(0, memo1_.size() - kLineLimit);
        Q_EMIT memo1LineAdded(usbTxt_);
        Q_EMIT frameReceived(usbTxt_);
    }
}

void HidLink::stopSilentCable()
{
    joiner_.resetIdleReportCount();
    toggles_.setDown(Toggle::USBCon, false);
    if (current_)
        current_->clearOnData();
}

} // namespace sorrel
