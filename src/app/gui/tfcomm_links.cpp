#include "app/gui/tfcomm.h"

#include "link/bridgelink.h"
#include "link/hidlink.h"
#include "link/linkwatchdog.h"
#include "link/serialconnection.h"

#include <QAction>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>

namespace sorrel {

namespace {

// Everything but USB sits right of the client area, where the window never shows it.
constexpr int kParkedX = 730;

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

void buildSerialControls(TFCOMM &w)
{
    QWidget *c = w.client();
    const QRect portRect(kParkedX, 40, 73, 25);
    w.BtCOM1 = panel(c, "BtCOM1", "COM 1", portRect);
    w.BtCOM2 = panel(c, "BtCOM2", "COM 2", portRect);
    w.BtCOM3 = panel(c, "BtCOM3", "COM 3", portRect);
    w.BtCOM4 = panel(c, "BtCOM4", "COM 4", portRect);
    const QRect conRect(kParkedX, 70, 73, 25);
    w.BTCon = panel(c, "BTCon", "Connect", conRect);
    w.BtDiscon = panel(c, "BtDiscon", "Disconnect", conRect);
    w.COMCon = button(c, "COMCon", "COM Connect", QRect(kParkedX, 100, 109, 25), true);

    SerialConnection &serial = w.links->serial();
    QObject::connect(w.BtCOM1, &ClickablePanel::clicked, &serial, &SerialConnection::COM21Click);
    QObject::connect(w.BtCOM2, &ClickablePanel::clicked, &serial, &SerialConnection::COM31Click);
    QObject::connect(w.BtCOM3, &ClickablePanel::clicked, &serial, &SerialConnection::COM41Click);
    QObject::connect(w.BtCOM4, &ClickablePanel::clicked, &serial, &SerialConnection::COM11Click);
    QObject::connect(w.BTCon, &ClickablePanel::clicked, &serial, &SerialConnection::BTCon1Click);
    QObject::connect(w.BtDiscon, &ClickablePanel::clicked, &serial, &SerialConnection::BtDiscon1Click);
    QObject::connect(w.START1, &QAction::triggered, &serial, &SerialConnection::BTCon1Click);
    QObject::connect(w.STOP1, &QAction::triggered, &serial, &SerialConnection::BtDiscon1Click);

    auto sync = [&w, &serial] {
        const std::array<ClickablePanel *, 4> ports{w.BtCOM1, w.BtCOM2, w.BtCOM3, w.BtCOM4};
        for (int i = 0; i < 4; ++i) {
            ports[size_t(i)]->setVisible(serial.shownPortPanel() == i + 1);
            ports[size_t(i)]->setEnabled(serial.portPanelsEnabled());
        }
        w.BTCon->setVisible(!serial.connected());
        w.BtDiscon->setVisible(serial.connected());
        w.START1->setChecked(serial.start1Checked());
        w.START1->setEnabled(serial.start1Enabled());
        w.STOP1->setChecked(serial.stop1Checked());
        w.STOP1->setEnabled(serial.stop1Enabled());
    };
    QObject::connect(&serial, &SerialConnection::changed, &w, sync);
    sync();
}

void buildHidControls(TFCOMM &w)
{
    QWidget *c = w.client();
    w.USBCon = button(c, "USBCon", "USB Connect", QRect(kParkedX, 130, 109, 25), true);
    w.USBCon->setToolTip(QStringLiteral("USB Connect"));
    w.ReadBtn = button(c, "ReadBtn", "Read", QRect(kParkedX, 160, 73, 25), true);
    w.SetFeature = button(c, "SetFeature", "SetFeature", QRect(kParkedX, 190, 73, 25), false);
    w.ClearBtn = button(c, "ClearBtn", "Clear", QRect(kParkedX, 220, 73, 25), false);

    w.DevListBox = new QListWidget(c);
    w.DevListBox->setObjectName(QStringLiteral("DevListBox"));
    w.DevListBox->setGeometry(kParkedX, 280, 200, 80);
    w.HistoryListBox = new QListWidget(c);
    w.HistoryListBox->setObjectName(QStringLiteral("HistoryListBox"));
    w.HistoryListBox->setGeometry(kParkedX, 370, 200, 120);
    w.USBtxt = new QLabel(c);
    w.USBtxt->setObjectName(QStringLiteral("USBtxt"));
    w.USBtxt->setGeometry(kParkedX, 495, 200, 16);
    w.USBtxt->hide();
    w.Memo1 = new QPlainTextEdit(c);
    w.Memo1->setObjectName(QStringLiteral("Memo1"));
    w.Memo1->setGeometry(kParkedX, 515, 200, 60);
    w.Memo1->setReadOnly(true);
    w.Memo1->setMaximumBlockCount(HidLink::kLineLimit);
    w.Memo1->hide();

    HidLink &hid = w.links->hid();
    QObject::connect(w.SetFeature, &QPushButton::clicked, &hid, &HidLink::SetFeatureClick);
    QObject::connect(w.ClearBtn, &QPushButton::clicked, &hid, &HidLink::ClearBtnClick);

    auto syncList = [&w, &hid] {
        const QSignalBlocker block(w.DevListBox);
        w.DevListBox->clear();
        for (const HidLink::Item &item : hid.items())
            w.DevListBox->addItem(item.text);
        w.DevListBox->setCurrentRow(hid.selectedIndex());
    };
    QObject::connect(&hid, &HidLink::itemsChanged, &w, syncList);
    QObject::connect(w.DevListBox, &QListWidget::currentRowChanged, &hid, &HidLink::selectItem);
    syncList();

    QObject::connect(&hid, &HidLink::historyLineAdded, &w, [&w](const QString &line) {
        QListWidget *list = w.HistoryListBox;
        list->addItem(line);
        while (list->count() > HidLink::kLineLimit)
            delete list->takeItem(0);
        list->setCurrentRow(list->count() - 1);
    });
    QObject::connect(&hid, &HidLink::historyCleared, w.HistoryListBox, &QListWidget::clear);
    for (const QString &line : hid.history())
        w.HistoryListBox->addItem(line);
    QObject::connect(&hid, &HidLink::memo1LineAdded, w.Memo1, &QPlainTextEdit::appendPlainText);
    QObject::connect(&hid, &HidLink::usbTxtChanged, w.USBtxt, &QLabel::setText);
}

void buildBridgeControls(TFCOMM &w)
{
    QWidget *c = w.client();
    w.usb_dll = button(c, "usb_dll", "usb_dll", QRect(kParkedX, 250, 73, 25), false);
    w.Memo3 = new QPlainTextEdit(c);
    w.Memo3->setObjectName(QStringLiteral("Memo3"));
    w.Memo3->setGeometry(kParkedX + 110, 40, 150, 40);
    w.Memo3->setReadOnly(true);
    BridgeLink &bridge = w.links->bridge();
    QObject::connect(w.usb_dll, &QPushButton::clicked, &bridge, &BridgeLink::usb_dllClick);
    QObject::connect(&bridge, &BridgeLink::memo3Changed, w.Memo3, &QPlainTextEdit::setPlainText);
}

// USB, COMCon, USBCon and ReadBtn: a click moves the group, then runs the button's
// action; a move by the links only moves the buttons.
void wireToggleGroup(TFCOMM &w)
{
    ToggleGroup &group = w.links->toggles();
    const std::array<std::pair<QPushButton *, Toggle>, kToggleCount> buttons{{
        {w.USB, Toggle::USB}, {w.COMCon, Toggle::COMCon}, {w.USBCon, Toggle::USBCon}, {w.ReadBtn, Toggle::ReadBtn}}};
    const std::array<std::function<void()>, kToggleCount> actions{
        [&w] { w.links->bridge().USBClick(); },
        [&w] { w.links->serial().COMConClick(); },
        [&w] { w.links->hid().USBConClick(); },
        [&w] { w.links->hid().ReadBtnClick(); },
    };
    for (size_t i = 0; i < buttons.size(); ++i) {
        auto [b, t] = buttons[i];
        b->setCheckable(true);
        b->setChecked(group.isDown(t));
        QObject::connect(b, &QPushButton::clicked, &w, [&group, t = t, action = actions[i]](bool checked) {
            group.setDown(t, checked);
            action();
        });
    }
    QObject::connect(&group, &ToggleGroup::positionChanged, &w, [buttons](Toggle t, bool down) {
        QPushButton *b = buttons[size_t(t)].first;
        const QSignalBlocker block(b);
        b->setChecked(down);
    });
}

} // namespace

void TFCOMM::setupLinks()
{
    MeterLinks::Options linkOptions;
    linkOptions.demo = options_.demo;
    links = new MeterLinks(*session_, std::move(linkOptions), this);
    COMM2 = &links->COMM2();
    CommPortDriver1 = &links->CommPortDriver1();
    ConTimer = &links->watchdog().ConTimer();
    Timer1 = &links->bridge().Timer1();
    buildSerialControls(*this);
    buildHidControls(*this);
    buildBridgeControls(*this);
    wireToggleGroup(*this);
}

void TFCOMM::bindSerialHandler()
{
    links->bindSerialHandler();
}

} // namespace sorrel
