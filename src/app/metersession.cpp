#include "app/metersession.h"

namespace sorrel {

MeterSession::MeterSession(const Profile &profile, const QString &decimalSeparator,
                           Notifier &notifier, QObject *parent)
    : QObject(parent), profile_(profile), notifier_(notifier)
{
    state_.decimalSeparator = decimalSeparator;
    state_.displayClass = profile.displayClass;
    state_.scale = profile.scale;
    panel_.setText(Ind::LcdDa, profile.idleFirstDigit);
}

void MeterSession::receiveSerial(QByteArrayView bytes)
{
    switch (profile_.handler) {
    case FrameHandler::Tern: HTernRData(bytes); break;
    case FrameHandler::Wren: HWrenRData(bytes); break;
    case FrameHandler::None: break;
    }
}

void MeterSession::darkenReceiveLamp()
{
    panel_.hide(Ind::conok);
    panel_.show(Ind::conokn);
    Q_EMIT panelChanged();
}

void MeterSession::HTernRData(QByteArrayView) {}
void MeterSession::HWrenRData(QByteArrayView) {}
void MeterSession::dispatchBridgeFrame(const QString &) {}
void MeterSession::dispatchHidFrame(const QString &) {}

} // namespace sorrel
