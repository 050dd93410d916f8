#pragma once
// The serial, HID and bridge controls, parked right of the window's client area where
// they never show: the links behave as if they were pressed, so they stay and mirror
// the link objects.

#include <QWidget>

class QAction;
class QLabel;
class QListWidget;
class QPlainTextEdit;
class QPushButton;

namespace sorrel {

class ClickablePanel;
class MeterLinks;

class LinkControls : public QWidget {
    Q_OBJECT
public:
    // Left edge on the client area: past its right side.
    static constexpr int kParkedX = 730;

    // START1 / STOP1 are the hidden Connect menu's; USB is the one button in sight.
    LinkControls(MeterLinks &links, QAction &start, QAction &stop, QPushButton &usb, QWidget *client);

private:
    void buildSerialControls(QAction &start, QAction &stop);
    void buildHidControls();
    void buildBridgeControls();
    void wireToggleGroup(QPushButton &usb);

    MeterLinks &links_;
    ClickablePanel *BtCOM1 = nullptr, *BtCOM2 = nullptr, *BtCOM3 = nullptr, *BtCOM4 = nullptr;
    ClickablePanel *BTCon = nullptr, *BtDiscon = nullptr;
    QPushButton *COMCon = nullptr;  // "COM Connect" toggle
    QPushButton *USBCon = nullptr;  // "USB Connect" toggle (HID cable)
    QPushButton *ReadBtn = nullptr; // "Read" toggle
    QPushButton *SetFeature = nullptr, *ClearBtn = nullptr, *usb_dll = nullptr;
    QListWidget *DevListBox = nullptr, *HistoryListBox = nullptr;
    QLabel *USBtxt = nullptr;
    QPlainTextEdit *Memo1 = nullptr, *Memo3 = nullptr;
};

} // namespace sorrel
