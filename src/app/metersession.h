#pragma once
// The meter session: one frame's road from bytes to the panel, the reading state,
// the dial, the judge and the recorder. Shared by the window and the command-line tool.

#include "app/notifier.h"
#include "app/profile.h"
#include "app/readingstate.h"
#include "display/lcdpanelstate.h"

#include <QByteArrayView>
#include <QObject>
#include <functional>

namespace sorrel {

class MeterSession : public QObject {
    Q_OBJECT
public:
    MeterSession(const Profile &profile, const QString &decimalSeparator, Notifier &notifier,
                 QObject *parent = nullptr);

    const Profile &profile() const { return profile_; }
    Notifier &notifier() { return notifier_; }
    LcdPanelState &panel() { return panel_; }
    const LcdPanelState &panel() const { return panel_; }
    ReadingState &state() { return state_; }
    const ReadingState &state() const { return state_; }

    // Serial bytes, fed to the frame handler the profile binds (none: discarded).
    void receiveSerial(QByteArrayView bytes);
    // The two serial frame handlers (receive events of the serial driver).
    void HTernRData(QByteArrayView bytes);
    void HWrenRData(QByteArrayView bytes);
    // A 32-digit frame text from the USB bridge, dispatched by the bridge table.
    void dispatchBridgeFrame(const QString &frameText);
    // A frame text of up to 32 digits from the HID cable, dispatched by the HID table.
    void dispatchHidFrame(const QString &frameText);

    // Turns the receive lamp to "no data" (connection timer, bridge poll).
    void darkenReceiveLamp();

    // Hooks the window or the tool plugs in.
    std::function<void(int)> onDialRun;  // KDrun(position)
    std::function<void()> onRecord;      // INDataToTable()

Q_SIGNALS:
    // After every decoder call and lamp change: the panel and the reading state may
    // have changed. Widgets repaint on it (update() coalesces).
    void panelChanged();

private:
    Profile profile_;
    Notifier &notifier_;
    LcdPanelState panel_;
    ReadingState state_;
};

} // namespace sorrel
