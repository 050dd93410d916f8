#pragma once
// The USB bridge link: USB ("USB Connect ") opens the one bridge present through the
// bridge library calls, and Timer1 polls it every 10 ms; each 32-byte read is a frame.

#include "base/outcome.h"
#include "link/bridgeapi.h"

#include <QByteArrayView>
#include <QObject>
#include <QString>
#include <QTimer>
#include <array>

namespace sorrel {

class MeterPort;
class ToggleGroup;

// The frame text of a bridge read: the low hexadecimal digit of each byte, upper case.
// The writing form reuses text's storage, so a steady poll costs no allocation.
void writeBridgeFrameText(QByteArrayView bytes, QString &text);
QString bridgeFrameText(const quint8 *bytes, int count);

class BridgeLink : public QObject {
    Q_OBJECT
public:
    static constexpr int kPollMs = 10;
    static constexpr int kFrameBytes = 32;
    static constexpr quint32 kBaudRate = 19200;
    static constexpr quint32 kTimeoutMs = 10;

    // Timer1 runs from construction, as the window is built.
    BridgeLink(BridgeApi &api, MeterPort &session, ToggleGroup &toggles, QObject *parent = nullptr);
    ~BridgeLink() override;

    void USBClick();     // by USB's new position
    void usb_dllClick(); // open(), its failure told in a plain box
    // Opens the one bridge attached (closing one opened before) and sets it up.
    Outcome open();
    void Timer1Timer();

    QTimer &Timer1() { return timer_; }
    const QString &Memo3() const { return memo3_; }

    SiHandle handle() const { return handle_; }
    int status() const { return status_; }
    quint32 deviceCount() const { return deviceCount_; }
    bool opened() const { return opened_; }

Q_SIGNALS:
    void memo3Changed(const QString &text);
    // A read frame's text, unless the report preview is open (the window: the
    // session's bridge dispatch).
    void frameReceived(const QString &text);

private:
    BridgeApi &api_;
    MeterPort &session_;
    ToggleGroup &toggles_;
    QTimer timer_;
    QString memo3_;
    SiHandle handle_ = 0;
    int status_ = 0;
    quint32 deviceCount_ = 0;
    bool opened_ = false;
    std::array<quint8, kFrameBytes> buffer_{};
};

} // namespace sorrel
