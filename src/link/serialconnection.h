#pragma once
// The controls that choose the serial port and open and close COMM2: the port cycle
// panels, Connect / Disconnect (panels and the START / STOP menu items) and COMCon.
// The window's widgets mirror this state; a headless caller drives it directly.

#include "base/outcome.h"

#include <QObject>

namespace sorrel {

class Notifier;
class TCommPortDriver;
class ToggleGroup;

class SerialConnection : public QObject {
    Q_OBJECT
public:
    SerialConnection(TCommPortDriver &driver, ToggleGroup &toggles, Notifier &notifier, QObject *parent = nullptr);

    // Which port panel is visible: 1 for BtCOM1 ("COM 1") .. 4 for BtCOM4.
    int shownPortPanel() const { return shownPanel_; }
    bool portPanelsEnabled() const { return !connected_; }
    // Connected: BtDiscon and STOP1 offered; Disconnected: BTCon and START1.
    bool connected() const { return connected_; }
    bool start1Checked() const { return start1Checked_; }
    bool start1Enabled() const { return !connected_; }
    bool stop1Checked() const { return stop1Checked_; }
    bool stop1Enabled() const { return connected_; }

    void COM21Click(); // on BtCOM1: COM 2
    void COM31Click(); // on BtCOM2: COM 3
    void COM41Click(); // on BtCOM3: COM 4
    void COM11Click(); // on BtCOM4: COM 1
    void clickShownPortPanel();

    void BTCon1Click();    // BTCon, START1
    void BtDiscon1Click(); // BtDiscon, STOP1
    void COMConClick();    // by COMCon's new position

Q_SIGNALS:
    void changed();

private:
    bool connectPort(); // openPort(), its failure told as an error
    Outcome openPort();
    void disconnectPort();
    void selectPort(int panel);

    TCommPortDriver &driver_;
    ToggleGroup &toggles_;
    Notifier &notifier_;
    int shownPanel_ = 1;
    bool connected_ = false;
    bool start1Checked_ = false;
    bool stop1Checked_ = false;
};

} // namespace sorrel
