#pragma once
// The HID cable link as the window runs it: the device list with the cable selected,
// starting and stopping reading, the rate feature report, the history, and the report
// handler that joins bursts into frame texts. No widgets: the window mirrors this
// state and forwards clicks; a headless caller drives it the same way.

#include "decode/hidburstjoiner.h"

#include <QByteArray>
#include <QObject>
#include <QStringList>

namespace sorrel {

class Notifier;
class TJvHidDevice;
class TJvHidDeviceController;
class ToggleGroup;
struct Profile;

// The product name, else "Device VID=%.4X PID=%.4X"; " (Serial=%s)" when there is one.
QString hidDeviceDescription(const TJvHidDevice &device);
// Report identifier 0, the rate little-endian in bytes 1-4, 0x03, then zeros: 10 bytes.
QByteArray rateFeatureReport(int rate);

class HidLink : public QObject {
    Q_OBJECT
public:
    // The history list and Memo1 keep their newest lines only.
    static constexpr int kLineLimit = 1000;
    static constexpr int kSilentReportLimit = 1900;

    struct Item {
        QString text;
        TJvHidDevice *device = nullptr;
    };

    // Attaches the window's handlers to the controller, which runs its first pass.
    HidLink(TJvHidDeviceController &controller, ToggleGroup &toggles, Notifier &notifier, const Profile &profile,
            QObject *parent = nullptr);
    ~HidLink() override;

    // DevListBox
    const QList<Item> &items() const { return items_; }
    int selectedIndex() const { return selected_; }
    void selectItem(int index);
    // HistoryListBox: the newest line is the selected one.
    const QStringList &history() const { return history_; }
    const QStringList &memo1() const { return memo1_; }
    const QString &usbTxt() const { return usbTxt_; }
    TJvHidDevice *currentDevice() const { return current_; }
    HidBurstJoiner &joiner() { return joiner_; }
    int idleReportCount() const { return joiner_.idleReportCount(); }

    // The window's handlers.
    bool HidCtlEnumerate(TJvHidDevice *device, int index);
    void HidCtlDeviceChange();
    void HidCtlArrival(TJvHidDevice *device);
    void HidCtlRemoval(TJvHidDevice *device);
    void HidCtlDeviceDataError(TJvHidDevice *device, int error);
    void USBConClick();
    void ReadBtnClick();
    void SetFeatureClick();
    void ClearBtnClick();
    void reportHandler(TJvHidDevice *device, quint8 reportId, QByteArrayView data);

    // The connection timer's silent-instrument step: USBCon up and reading stopped.
    void stopSilentCable();

Q_SIGNALS:
    void itemsChanged();
    void historyLineAdded(const QString &line);
    void historyCleared();
    void memo1LineAdded(const QString &line);
    void usbTxtChanged(const QString &text);
    // A finished burst's frame text (the window: the session's HID dispatch).
    void frameReceived(const QString &text);

private:
    TJvHidDevice *selectedDevice() const;
    void addHistory(const QString &line);
    void attachReportHandler(TJvHidDevice *device);
    void releaseItems();

    TJvHidDeviceController &controller_;
    ToggleGroup &toggles_;
    Notifier &notifier_;
    int hidRate_;
    bool hidReading_;
    QList<Item> items_;
    int selected_ = -1;
    QStringList history_;
    QStringList memo1_;
    QString usbTxt_;
    TJvHidDevice *current_ = nullptr;
    HidBurstJoiner joiner_;
};

} // namespace sorrel
