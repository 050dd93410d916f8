#include "link/commportdriver.h"

#include "link/serialportnames.h"

#include <QSerialPort>
#include <array>
#include <cerrno>
#include <poll.h>

namespace sorrel {

namespace {

constexpr std::array<int, 13> kBauds{110,   300,   600,   1200,  2400,  4800,  9600,
                                     14400, 19200, 38400, 56000, 57600, 115200};

// QSerialPort names a kind, not the system's reason: ask the device itself. A port
// that opens for us but not for QSerialPort is held by its lock file's owner.
DeviceFailure openFailure(const QString &device, QSerialPort::SerialPortError error)
{
    DeviceFailure f = probeDeviceOpen(device);
    if (f.failed())
        return f;
    return deviceFailure(device, error == QSerialPort::PermissionError       ? EBUSY
                                 : error == QSerialPort::DeviceNotFoundError ? ENOENT
                                                                             : EIO);
}

} // namespace

int baudOf(TComPortBaudRate rate)
{
    return kBauds[size_t(rate)];
}

TComPortBaudRate baudRateFor(int baud)
{
    for (size_t i = 0; i < kBauds.size(); ++i)
        if (kBauds[i] == baud)
            return TComPortBaudRate(i);
    return br9600;
}

TCommPortDriver::TCommPortDriver(QObject *parent) : QObject(parent)
{
    rxBuffer_.resize(inBufSize_);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &TCommPortDriver::poll);
}

TCommPortDriver::~TCommPortDriver()
{
    Disconnect();
}

QString TCommPortDriver::deviceName() const
{
    return comPortDeviceName(int(port_) + 1);
}

bool TCommPortDriver::Connect()
{
    if (connected_)
        return true;
    failure_ = {};
    const QString device = deviceName();
    if (device.isEmpty()) {
        failure_ = deviceFailure(device, ENOENT);
        return false;
    }
    auto serial = std::make_unique<QSerialPort>();
    serial->setPortName(device);
    // QSerialPort opens exclusively (a lock file and TIOCEXCL).
    if (!serial->open(QIODevice::ReadWrite)) {
        failure_ = openFailure(device, serial->error());
        return false;
    }
    // The bridge's lock too: as root TIOCEXCL stops nobody, and a bridge reader of the
    // same device would take half of the bytes.
    if (!lockDevice(int(serial->handle()))) {
        failure_ = deviceFailure(device, errno);
        serial->close();
        return false;
    }
    serial_ = std::move(serial);
    connect(serial_.get(), &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError e) {
        // A vanished device keeps signalling readable; let go of it so the loop does
        // not spin, and fail reads quietly until Disconnect.
        if (e == QSerialPort::ResourceError || e == QSerialPort::ReadError)
            QMetaObject::invokeMethod(this, &TCommPortDriver::portFailed, Qt::QueuedConnection);
    });
    connected_ = true;
    applyLineSettings();
    timer_.start(pollingDelay_);
    return true;
}

QString TCommPortDriver::failureDetail() const
{
    if (failure_.failed() && failure_.path.isEmpty())
        return QStringLiteral("No serial port is present for COM %1 (SORREL_COM%1 names a device).")
            .arg(int(port_) + 1);
    return failure_.detail();
}

void TCommPortDriver::portFailed()
{
    if (!serial_)
        return;
    const QSerialPort::SerialPortError e = serial_->error();
    if (e != QSerialPort::ResourceError && e != QSerialPort::ReadError)
        return;
    if (e == QSerialPort::ReadError) {
        // A read of nothing is what a hang-up looks like; anything else passes.
        pollfd p{int(serial_->handle()), POLLIN, 0};
        const bool hungUp = ::poll(&p, 1, 0) < 0 || (p.revents & (POLLHUP | POLLERR | POLLNVAL));
        if (!hungUp) {
            serial_->clearError();
            return;
        }
    }
    serial_->close();
    serial_.reset();
}

void TCommPortDriver::Disconnect()
{
    if (!connected_)
        return;
    timer_.stop();
    if (serial_) {
        serial_->close();
        serial_.reset();
    }
    connected_ = false;
}

void TCommPortDriver::FlushBuffers(bool input, bool output)
{
    if (!serial_)
        return;
    QSerialPort::Directions dirs;
    if (input)
        dirs |= QSerialPort::Input;
    if (output)
        dirs |= QSerialPort::Output;
    if (dirs)
        serial_->clear(dirs);
}

void TCommPortDriver::applyLineSettings()
{
    if (!serial_)
        return;
    QSerialPort &p = *serial_;
    p.setBaudRate(baudOf(speed_));
    p.setDataBits(QSerialPort::DataBits(5 + int(dataBits_)));
    static constexpr QSerialPort::Parity parities[] = {QSerialPort::NoParity, QSerialPort::OddParity,
                                                       QSerialPort::EvenParity, QSerialPort::MarkParity,
                                                       QSerialPort::SpaceParity};
    p.setParity(parities[parity_]);
    static constexpr QSerialPort::StopBits stops[] = {QSerialPort::OneStop, QSerialPort::OneAndHalfStop,
                                                      QSerialPort::TwoStop};
    p.setStopBits(stops[stopBits_]);
    // One flow control mode at a time here; RTS/CTS wins when both are asked for.
    p.setFlowControl(hw_ == hhRTSCTS    ? QSerialPort::HardwareControl
                     : sw_ == shXONXOFF ? QSerialPort::SoftwareControl
                                        : QSerialPort::NoFlowControl);
    // Cables powered from the control lines need DTR on and RTS off.
    p.setDataTerminalReady(enableDtr_);
    if (hw_ != hhRTSCTS)
        p.setRequestToSend(false);
    FlushBuffers(true, true);
    p.setReadBufferSize(inBufSize_);
    // A line or buffer call a port does not support (a pseudo-terminal has no modem
    // lines) is ignored, as its result is; clear it so it does not read as a lost port.
    p.clearError();
}

void TCommPortDriver::poll()
{
    if (!serial_)
        return;
    const qint64 n = serial_->read(rxBuffer_.data(), rxBuffer_.size());
    if (n > 0 && OnReceiveData)
        OnReceiveData(this, rxBuffer_.constData(), int(n));
}

void TCommPortDriver::setComPort(TComPortNumber port)
{
    if (!connected_)
        port_ = port;
}

void TCommPortDriver::setComPortInBufSize(quint16 size)
{
    if (connected_)
        return;
    inBufSize_ = size;
    rxBuffer_ = QByteArray(size, Qt::Uninitialized);
}

void TCommPortDriver::setComPortSpeed(TComPortBaudRate speed)
{
    speed_ = speed;
    applyLineSettings();
}

void TCommPortDriver::setComPortDataBits(TComPortDataBits bits)
{
    dataBits_ = bits;
    applyLineSettings();
}

void TCommPortDriver::setComPortStopBits(TComPortStopBits bits)
{
    stopBits_ = bits;
    applyLineSettings();
}

void TCommPortDriver::setComPortParity(TComPortParity parity)
{
    parity_ = parity;
    applyLineSettings();
}

void TCommPortDriver::setComPortHwHandshaking(TComPortHwHandshaking hw)
{
    hw_ = hw;
    applyLineSettings();
}

void TCommPortDriver::setComPortSwHandshaking(TComPortSwHandshaking sw)
{
    sw_ = sw;
    applyLineSettings();
}

void TCommPortDriver::setComPortPollingDelay(quint16 ms)
{
    if (ms == pollingDelay_)
        return;
    const bool running = connected_;
    if (running)
        timer_.stop();
    pollingDelay_ = ms;
    if (running)
        timer_.start(pollingDelay_);
}

} // namespace sorrel
