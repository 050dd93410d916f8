#include "link/bridgelink.h"

#include "decode/decodedframe.h"
#include "link/meterport.h"
#include "link/togglegroup.h"

namespace sorrel {

void writeBridgeFrameText(QByteArrayView bytes, QString &text)
{
    text.resize(bytes.size());
    QChar *out = text.data();
    for (qsizetype i = 0; i < bytes.size(); ++i)
        out[i] = QLatin1Char(kHexDigits[std::uint8_t(bytes[i]) & 0x0f]);
}

QString bridgeFrameText(const quint8 *bytes, int count)
{
    QString text;
    writeBridgeFrameText(QByteArrayView(bytes, count), text);
    return text;
}

BridgeLink::BridgeLink(BridgeApi &api, MeterPort &session, ToggleGroup &toggles, QObject *parent)
    : QObject(parent), api_(api), session_(session), toggles_(toggles)
{
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &BridgeLink::Timer1Timer);
    timer_.start(kPollMs);
}

BridgeLink::~BridgeLink() = default;

void BridgeLink::USBClick()
{
    if (toggles_.isDown(Toggle::USB)) {
        timer_.start(kPollMs);
        usb_dllClick();
        return;
    }
    memo3_ = QStringLiteral("Test finish");
    Q_EMIT memo3Changed(memo3_);
    timer_.stop();
    if (opened_)
        api_.SI_Close(handle_);
}

void BridgeLink::usb_dllClick()
{
    open().tellFailure(session_.notifier());
    // Released only once the user has read why.
    if (deviceCount_ != 1)
        toggles_.setDown(Toggle::USB, false);
}

Outcome BridgeLink::open()
{
    // Opening again over an open bridge would leave the first handle reading the same
    // device, splitting its bytes between two readers.
    if (opened_)
        api_.SI_Close(handle_);
    deviceCount_ = 0;
    opened_ = false;
    status_ = api_.SI_GetNumDevices(&deviceCount_);
    if (deviceCount_ != 1)
        return Outcome::failure(
            QStringLiteral("USB interface cable is not connected properly, please check and re-try."),
            api_.countDetail(), MessageKind::Plain);
    status_ = api_.SI_Open(0, &handle_);
    opened_ = true;
    if (status_ != SiStatus::Success)
        return Outcome::failure(QStringLiteral("Open the equipments mistake"), api_.lastOpenFailure().detail(),
                                MessageKind::Plain);
    status_ = api_.SI_SetBaudRate(handle_, kBaudRate);
    if (status_ != SiStatus::Success)
        return Outcome::failure(QStringLiteral("Baud Rate set mistake"), QString(), MessageKind::Plain);
    status_ = api_.SI_SetTimeouts(kTimeoutMs, kTimeoutMs);
    if (status_ != SiStatus::Success)
        return Outcome::failure(QStringLiteral("Time out"), QString(), MessageKind::Plain);
    return Outcome::success();
}

void BridgeLink::Timer1Timer()
{
    // Darkening an already dark lamp changes nothing; skipping it spares a repaint
    // request on every idle tick.
    if (!session_.receiveLampDark())
        session_.darkenReceiveLamp();

    quint32 returned = 0;
    status_ = api_.SI_Read(handle_, buffer_.data(), kFrameBytes, &returned);
    if (status_ != SiStatus::Success)
        return;
    const QString text = bridgeFrameText(buffer_.data(), kFrameBytes);
    if (!session_.previewOpen())
        Q_EMIT frameReceived(text);
    // The poll shares the serial accumulators, and empties them after each read.
    session_.clearSerialAccumulators();
    api_.SI_FlushBuffers(handle_, 1, 1);
    api_.SI_FlushBuffers(handle_, 1, 1);
}

} // namespace sorrel
