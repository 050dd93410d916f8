#include "link/serialconnection.h"

#include "base/notifier.h"
#include "link/commportdriver.h"
#include "link/togglegroup.h"

namespace sorrel {

SerialConnection::SerialConnection(TCommPortDriver &driver, ToggleGroup &toggles, Notifier &notifier,
                                   QObject *parent)
    : QObject(parent), driver_(driver), toggles_(toggles), notifier_(notifier)
{
    shownPanel_ = int(driver_.ComPort()) + 1;
}

void SerialConnection::selectPort(int panel)
{
    // The panels are disabled while connected, so a click cannot reach here then.
    if (connected_)
        return;
    shownPanel_ = panel;
    driver_.setComPort(TComPortNumber(panel - 1));
    Q_EMIT changed();
}

void SerialConnection::COM21Click()
{
    selectPort(2);
}
void SerialConnection::COM31Click()
{
    selectPort(3);
}
void SerialConnection::COM41Click()
{
    selectPort(4);
}
void SerialConnection::COM11Click()
{
    selectPort(1);
}

void SerialConnection::clickShownPortPanel()
{
    switch (shownPanel_) {
    case 1:
        COM21Click();
        break;
    case 2:
        COM31Click();
        break;
    case 3:
        COM41Click();
        break;
    default:
        COM11Click();
        break;
    }
}

bool SerialConnection::connectPort()
{
    return openPort().tellFailure(notifier_);
}

Outcome SerialConnection::openPort()
{
    // A port that does not open is said so, and the controls stay Disconnected
    // rather than claiming a connection that cannot bring data.
    if (!driver_.Connect())
        return Outcome::failure(QStringLiteral("Could not open COM %1.").arg(int(driver_.ComPort()) + 1),
                                driver_.failureDetail());
    start1Checked_ = true;
    stop1Checked_ = false;
    connected_ = true;
    Q_EMIT changed();
    return Outcome::success();
}

void SerialConnection::disconnectPort()
{
    start1Checked_ = false;
    stop1Checked_ = true;
    driver_.Disconnect();
    connected_ = false;
    Q_EMIT changed();
}

void SerialConnection::BTCon1Click()
{
    connectPort();
}

void SerialConnection::BtDiscon1Click()
{
    disconnectPort();
}

void SerialConnection::COMConClick()
{
    if (toggles_.isDown(Toggle::COMCon)) {
        if (!connectPort())
            toggles_.setDown(Toggle::COMCon, false);
    } else {
        disconnectPort();
    }
}

} // namespace sorrel
