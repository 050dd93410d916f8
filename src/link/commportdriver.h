#pragma once
// TCommPortDriver: a receive-only serial port polled from a main-thread timer. Every
// batch of received bytes goes to OnReceiveData; the program never sends.

#include "link/deviceaccess.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>

class QSerialPort;

namespace sorrel {

enum TComPortNumber { pnCOM1, pnCOM2, pnCOM3, pnCOM4 };
enum TComPortBaudRate {
    br110,
    br300,
    br600,
    br1200,
    br2400,
    br4800,
    br9600,
    br14400,
    br19200,
    br38400,
    br56000,
    br57600,
    br115200
};
enum TComPortDataBits { db5BITS, db6BITS, db7BITS, db8BITS };
enum TComPortStopBits { sb1BITS, sb1HALFBITS, sb2BITS };
enum TComPortParity { ptNONE, ptODD, ptEVEN, ptMARK, ptSPACE };
enum TComPortHwHandshaking { hhNONE, hhRTSCTS };
enum TComPortSwHandshaking { shNONE, shXONXOFF };

int baudOf(TComPortBaudRate rate);
// The rate for a line speed; br9600 for a speed not in the table.
TComPortBaudRate baudRateFor(int baud);

class TCommPortDriver;
// (Sender, DataPtr, DataSize): the bytes are lent for the call only.
using TComPortReceiveDataEvent = std::function<void(TCommPortDriver *, const char *, int)>;

class TCommPortDriver : public QObject {
    Q_OBJECT
public:
    explicit TCommPortDriver(QObject *parent = nullptr);
    ~TCommPortDriver() override;

    bool Connect();
    void Disconnect();
    bool Connected() const { return connected_; }
    void FlushBuffers(bool input, bool output);

    TComPortNumber ComPort() const { return port_; }
    void setComPort(TComPortNumber port);
    TComPortBaudRate ComPortSpeed() const { return speed_; }
    void setComPortSpeed(TComPortBaudRate speed);
    TComPortDataBits ComPortDataBits() const { return dataBits_; }
    void setComPortDataBits(TComPortDataBits bits);
    TComPortStopBits ComPortStopBits() const { return stopBits_; }
    void setComPortStopBits(TComPortStopBits bits);
    TComPortParity ComPortParity() const { return parity_; }
    void setComPortParity(TComPortParity parity);
    TComPortHwHandshaking ComPortHwHandshaking() const { return hw_; }
    void setComPortHwHandshaking(TComPortHwHandshaking hw);
    TComPortSwHandshaking ComPortSwHandshaking() const { return sw_; }
    void setComPortSwHandshaking(TComPortSwHandshaking sw);
    quint16 ComPortInBufSize() const { return inBufSize_; }
    void setComPortInBufSize(quint16 size);
    quint16 ComPortOutBufSize() const { return outBufSize_; }
    void setComPortOutBufSize(quint16 size) { outBufSize_ = size; }
    quint16 ComPortPollingDelay() const { return pollingDelay_; }
    void setComPortPollingDelay(quint16 ms);
    bool EnableDTROnOpen() const { return enableDtr_; }
    void setEnableDTROnOpen(bool on) { enableDtr_ = on; }
    quint16 OutputTimeout() const { return outputTimeout_; }
    void setOutputTimeout(quint16 ms) { outputTimeout_ = ms; }

    TComPortReceiveDataEvent OnReceiveData;

    // The device the selected port opens (see serialportnames.h).
    QString deviceName() const;
    // One tick of the polling timer; public so a caller can drive it without waiting.
    void poll();
    // The open port, for tests of the line state; null while closed or lost.
    QSerialPort *serialPort() const { return serial_.get(); }
    // Why the last Connect failed (nothing after a success), and the line that tells a user.
    const DeviceFailure &lastFailure() const { return failure_; }
    QString failureDetail() const;
    // The port went away while open: reads fail until Disconnect.
    bool portLost() const { return connected_ && !serial_; }

private:
    void applyLineSettings();
    void portFailed();

    TComPortNumber port_ = pnCOM1;
    TComPortBaudRate speed_ = br9600;
    TComPortDataBits dataBits_ = db8BITS;
    TComPortStopBits stopBits_ = sb1BITS;
    TComPortParity parity_ = ptNONE;
    TComPortHwHandshaking hw_ = hhNONE;
    TComPortSwHandshaking sw_ = shNONE;
    quint16 inBufSize_ = 2048;
    quint16 outBufSize_ = 2048;
    quint16 pollingDelay_ = 50;
    bool enableDtr_ = true;
    quint16 outputTimeout_ = 4000;

    bool connected_ = false;
    DeviceFailure failure_;
    std::unique_ptr<QSerialPort> serial_;
    QByteArray rxBuffer_;
    QTimer timer_;
};

} // namespace sorrel
