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
    Q_UNUSED(bytes);
}

} // namespace sorrel
