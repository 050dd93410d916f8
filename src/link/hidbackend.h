#pragma once
// What the HID device controller needs of the platform: the devices present, a
// read-and-write handle on one of them, and a signal when device nodes may have changed.

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QObject>
#include <QString>
#include <memory>

namespace sorrel {

struct HidDeviceInfo {
    QString path; // identifies the device while it is present
    quint16 vendorId = 0;
    quint16 productId = 0;
    QString productName;
    QString serialNumber;
    bool operator==(const HidDeviceInfo &) const = default;
};

// An open device. The controller never calls one handle from two threads at once.
class HidHandle {
public:
    virtual ~HidHandle() = default;
    // Waits up to timeoutMs for one input report. Returns 1 with the report, 0 when none
    // came, -1 on failure (errorCode() then tells why).
    virtual int readReport(quint8 &reportId, QByteArray &data, int timeoutMs) = 0;
    virtual int errorCode() const = 0;
    // report[0] is the report identifier.
    virtual bool sendFeatureReport(QByteArrayView report) = 0;
};

class HidBackend : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    virtual QList<HidDeviceInfo> devices() = 0;
    // Opens for reading and writing; null when that is refused.
    virtual std::unique_ptr<HidHandle> open(const QString &path) = 0;

Q_SIGNALS:
    // The platform says device nodes changed; the controller then compares.
    void devicesChanged();
};

} // namespace sorrel
