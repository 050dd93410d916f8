#include "link/gui/linkcontrols.h"

#include "link/bridgelink.h"
#include "link/gui/clickablepanel.h"
#include "link/hidlink.h"
#include "link/meterlinks.h"
#include "link/serialconnection.h"

#include <QAction>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>

namespace sorrel {

namespace {

ClickablePanel *panel(QWidget *parent, const char *name, const char *caption, QRect geometry)
{
    auto *p = new ClickablePanel(QString::fromLatin1(caption), parent);
    p->setObjectName(QString::fromLatin1(name));
    p->setGeometry(geometry);
    return p;
}

QPushButton *button(QWidget *parent, const char *name, const char *caption, QRect geometry, bool toggle)
{
    auto *b = new QPushButton(QString::fromLatin1(caption), parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setGeometry(geometry);
    b->setCheckable(toggle);
    return b;
}

} // namespace

LinkControls::LinkControls(MeterLinks &links, QAction &start, QAction &stop, QPushButton &usb, QWidget *client)
    : QWidget(client), links_(links)
{
    setObjectName(QStringLiteral("LinkControls"));
    setGeometry(kParkedX, 0, 270, 580);
    buildSerialControls(start, stop);
    buildHidControls();
    buildBridgeControls();
    wireToggleGroup(usb);
}

void LinkControls::buildSerialControls(QAction &start, QAction &stop)
{
    const QRect portRect(0, 40, 73, 25);
    BtCOM1 = panel(this, "BtCOM1", "COM 1", portRect);
    BtCOM2 = panel(this, "BtCOM2", "COM 2", portRect);
    BtCOM3 = panel(this, "BtCOM3", "COM 3", portRect);
    BtCOM4 = panel(this, "BtCOM4", "COM 4", portRect);
    const QRect conRect(0, 70, 73, 25);
    BTCon = panel(this, "BTCon", "Connect", conRect);
    BtDiscon = panel(this, "BtDiscon", "Disconnect", conRect);
    COMCon = button(this, "COMCon", "COM Connect", QRect(0, 100, 109, 25), true);

    SerialConnection &serial = links_.serial();
    connect(BtCOM1, &ClickablePanel::clicked, &serial, &SerialConnection::COM21Click);
    connect(BtCOM2, &ClickablePanel::clicked, &serial, &SerialConnection::COM31Click);
    connect(BtCOM3, &ClickablePanel::clicked, &serial, &SerialConnection::COM41Click);
    connect(BtCOM4, &ClickablePanel::clicked, &serial, &SerialConnection::COM11Click);
    connect(BTCon, &ClickablePanel::clicked, &serial, &SerialConnection::BTCon1Click);
    connect(BtDiscon, &ClickablePanel::clicked, &serial, &SerialConnection::BtDiscon1Click);
    connect(&start, &QAction::triggered, &serial, &SerialConnection::BTCon1Click);
    connect(&stop, &QAction::triggered, &serial, &SerialConnection::BtDiscon1Click);

    auto sync = [this, &serial, &start, &stop] {
        const std::array<ClickablePanel *, 4> ports{BtCOM1, BtCOM2, BtCOM3, BtCOM4};
        for (int i = 0; i < 4; ++i) {
            ports[size_t(i)]->setVisible(serial.shownPortPanel() == i + 1);
            ports[size_t(i)]->setEnabled(serial.portPanelsEnabled());
        }
        BTCon->setVisible(!serial.connected());
        BtDiscon->setVisible(serial.connected());
        start.setChecked(serial.start1Checked());
        start.setEnabled(serial.start1Enabled());
        stop.setChecked(serial.stop1Checked());
        stop.setEnabled(serial.stop1Enabled());
    };
    connect(&serial, &SerialConnection::changed, this, sync);
    sync();
}

void LinkControls::buildHidControls()
{
    USBCon = button(this, "USBCon", "USB Connect", QRect(0, 130, 109, 25), true);
    USBCon->setToolTip(QStringLiteral("USB Connect"));
    ReadBtn = button(this, "ReadBtn", "Read", QRect(0, 160, 73, 25), true);
    SetFeature = button(this, "SetFeature", "SetFeature", QRect(0, 190, 73, 25), false);
    ClearBtn = button(this, "ClearBtn", "Clear", QRect(0, 220, 73, 25), false);

    DevListBox = new QListWidget(this);
    DevListBox->setObjectName(QStringLiteral("DevListBox"));
    DevListBox->setGeometry(0, 280, 200, 80);
    HistoryListBox = new QListWidget(this);
    HistoryListBox->setObjectName(QStringLiteral("HistoryListBox"));
    HistoryListBox->setGeometry(0, 370, 200, 120);
    USBtxt = new QLabel(this);
    USBtxt->setObjectName(QStringLiteral("USBtxt"));
    USBtxt->setGeometry(0, 495, 200, 16);
    USBtxt->hide();
    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setGeometry(0, 515, 200, 60);
    Memo1->setReadOnly(true);
    Memo1->setMaximumBlockCount(HidLink::kLineLimit);
    Memo1->hide();

    HidLink &hid = links_.hid();
    connect(SetFeature, &QPushButton::clicked, &hid, &HidLink::SetFeatureClick);
    connect(ClearBtn, &QPushButton::clicked, &hid, &HidLink::ClearBtnClick);

    auto syncList = [this, &hid] {
        const QSignalBlocker block(DevListBox);
        DevListBox->clear();
        for (const HidLink::Item &item : hid.items())
            DevListBox->addItem(item.text);
        DevListBox->setCurrentRow(hid.selectedIndex());
    };
    connect(&hid, &HidLink::itemsChanged, this, syncList);
    connect(DevListBox, &QListWidget::currentRowChanged, &hid, &HidLink::selectItem);
    syncList();

    connect(&hid, &HidLink::historyLineAdded, this, [this](const QString &line) {
        QListWidget *list = HistoryListBox;
        list->addItem(line);
        while (list->count() > HidLink::kLineLimit)
            delete list->takeItem(0);
        list->setCurrentRow(list->count() - 1);
    });
    connect(&hid, &HidLink::historyCleared, HistoryListBox, &QListWidget::clear);
    for (const QString &line : hid.history())
        HistoryListBox->addItem(line);
    connect(&hid, &HidLink::memo1LineAdded, Memo1, &QPlainTextEdit::appendPlainText);
    connect(&hid, &HidLink::usbTxtChanged, USBtxt, &QLabel::setText);
}

void LinkControls::buildBridgeControls()
{
    usb_dll = button(this, "usb_dll", "usb_dll", QRect(0, 250, 73, 25), false);
    Memo3 = new QPlainTextEdit(this);
    Memo3->setObjectName(QStringLiteral("Memo3"));
    Memo3->setGeometry(110, 40, 150, 40);
    Memo3->setReadOnly(true);
    BridgeLink &bridge = links_.bridge();
    connect(usb_dll, &QPushButton::clicked, &bridge, &BridgeLink::usb_dllClick);
    connect(&bridge, &BridgeLink::memo3Changed, Memo3, &QPlainTextEdit::setPlainText);
}

// USB, COMCon, USBCon and ReadBtn: a click moves the group, then runs the button's
// action; a move by the links only moves the buttons.
void LinkControls::wireToggleGroup(QPushButton &usb)
{
    ToggleGroup &group = links_.toggles();
    const std::array<std::pair<QPushButton *, Toggle>, kToggleCount> buttons{
        {{&usb, Toggle::USB}, {COMCon, Toggle::COMCon}, {USBCon, Toggle::USBCon}, {ReadBtn, Toggle::ReadBtn}}};
    MeterLinks &links = links_;
    const std::array<std::function<void()>, kToggleCount> actions{
        [&links] { links.bridge().USBClick(); },
        [&links] { links.serial().COMConClick(); },
        [&links] { links.hid().USBConClick(); },
        [&links] { links.hid().ReadBtnClick(); },
    };
    for (size_t i = 0; i < buttons.size(); ++i) {
        auto [b, t] = buttons[i];
        b->setCheckable(true);
        b->setChecked(group.isDown(t));
        connect(b, &QPushButton::clicked, this, [&group, t = t, action = actions[i]](bool checked) {
            group.setDown(t, checked);
            action();
        });
    }
    connect(&group, &ToggleGroup::positionChanged, this, [buttons](Toggle t, bool down) {
        QPushButton *b = buttons[size_t(t)].first;
        const QSignalBlocker block(b);
        b->setChecked(down);
    });
}

} // namespace sorrel
