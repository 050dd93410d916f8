#include "app/gui/tfcomm.h"
#include "link/bridgelink.h"
#include "link/commportdriver.h"
#include "link/demometer.h"
#include "link/gui/clickablepanel.h"
#include "link/hidlink.h"
#include "link/linkwatchdog.h"
#include "link/meterlinks.h"
#include "link/pseudoterminal.h"
#include "link/serialconnection.h"
#include "link/unreadabledevice.h"
#include "support/testhelpers.h"

#include <QAction>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

using namespace sorrel;
using namespace sorrel::test;

class TestLinkControls : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void cleanup()
    {
        qunsetenv("SORREL_COM1");
        qunsetenv("SORREL_BRIDGE");
    }
    void controlsAreOutOfSight();
    void portPanelsCycleByClicks();
    void connectThatFailsStaysDisconnected();
    void connectMenuAndPanels();
    void toggleGroupMovesWithoutActions();
    void demoMeterThroughUsbButton();
    void bridgeThatWillNotOpenSaysWhy();
    void hidWithoutCable();
};

void TestLinkControls::controlsAreOutOfSight()
{
    RecordingNotifier notifier;
    TFCOMM w(AppOptions{}, notifier);
    auto *USB = control<QPushButton>(w, "USB");
    w.show();
    const QRect client = w.client()->rect();
    for (const char *name :
         {"BtCOM1", "BtCOM2", "BtCOM3", "BtCOM4", "BTCon", "BtDiscon", "COMCon", "USBCon", "ReadBtn", "SetFeature",
          "ClearBtn", "usb_dll", "DevListBox", "HistoryListBox", "USBtxt", "Memo1", "Memo3"}) {
        auto *c = control<QWidget>(w, name);
        const QRect place(c->mapTo(w.client(), QPoint(0, 0)), c->size());
        QVERIFY2(!c->isVisible() || !client.intersects(place), name);
    }
    QVERIFY(USB->isVisible());
    QVERIFY(!USB->isChecked());
    QVERIFY(w.links().bridge().Timer1().isActive());
    QCOMPARE(w.links().bridge().Timer1().interval(), 10);
    QVERIFY(w.links().watchdog().ConTimer().isActive());
    QCOMPARE(w.links().watchdog().ConTimer().interval(), 100);
    // COMM2 as stored and bound by the shipped profile; CommPortDriver1 keeps the defaults.
    QCOMPARE(w.links().COMM2().ComPort(), pnCOM1);
    QCOMPARE(w.links().COMM2().ComPortSpeed(), br2400);
    QVERIFY(w.links().COMM2().OnReceiveData);
    QCOMPARE(w.links().CommPortDriver1().ComPortSpeed(), br9600);
    QVERIFY(!w.links().CommPortDriver1().OnReceiveData);
    QVERIFY(notifier.messages.isEmpty());
}

void TestLinkControls::portPanelsCycleByClicks()
{
    RecordingNotifier notifier;
    TFCOMM w(AppOptions{}, notifier);
    auto *BtCOM2 = control<ClickablePanel>(w, "BtCOM2");
    auto *BtCOM3 = control<ClickablePanel>(w, "BtCOM3");
    auto *BtCOM4 = control<ClickablePanel>(w, "BtCOM4");
    auto *BtCOM1 = control<ClickablePanel>(w, "BtCOM1");
    w.show();
    const QList<ClickablePanel *> order{BtCOM2, BtCOM3, BtCOM4, BtCOM1};
    QVERIFY(BtCOM1->isVisible() && !BtCOM2->isVisible());
    for (int i = 0; i < 4; ++i) {
        ClickablePanel *shown = nullptr;
        for (ClickablePanel *p : {BtCOM1, BtCOM2, BtCOM3, BtCOM4})
            if (p->isVisible())
                shown = shown ? nullptr : p; // exactly one
        QVERIFY(shown);
        QTest::mouseClick(shown, Qt::LeftButton);
        QVERIFY(order.at(i)->isVisible());
    }
    QCOMPARE(w.links().COMM2().ComPort(), pnCOM1);
    QCOMPARE(BtCOM1->text(), QStringLiteral("COM 1"));
}

void TestLinkControls::connectThatFailsStaysDisconnected()
{
    qputenv("SORREL_COM1", "/nonexistent/ttyA");
    RecordingNotifier notifier;
    TFCOMM w(AppOptions{}, notifier);
    auto *BTCon = control<ClickablePanel>(w, "BTCon");
    w.show();
    QTest::mouseClick(BTCon, Qt::LeftButton);
    QCOMPARE(notifier.messages,
             (QList<RecordingNotifier::Message>{
                 {MessageKind::Error, "Could not open COM 1.\n/nonexistent/ttyA: No such file or directory."}}));
    QVERIFY(BTCon->isVisible());
    QVERIFY(!control<ClickablePanel>(w, "BtDiscon")->isVisible());
    QVERIFY(control<QAction>(w, "START1")->isEnabled());
    QVERIFY(!control<QAction>(w, "STOP1")->isEnabled());
    QVERIFY(control<ClickablePanel>(w, "BtCOM1")->isEnabled());
}

void TestLinkControls::connectMenuAndPanels()
{
    PseudoTerminal pty;
    qputenv("SORREL_COM1", pty.slavePath().toLocal8Bit());
    RecordingNotifier notifier;
    TFCOMM w(AppOptions{}, notifier);
    auto *START1 = control<QAction>(w, "START1");
    auto *BTCon = control<ClickablePanel>(w, "BTCon");
    auto *BtDiscon = control<ClickablePanel>(w, "BtDiscon");
    auto *STOP1 = control<QAction>(w, "STOP1");
    w.show();
    START1->trigger();
    QVERIFY(w.links().COMM2().Connected());
    QVERIFY(!BTCon->isVisible());
    QVERIFY(BtDiscon->isVisible());
    QVERIFY(START1->isChecked() && !START1->isEnabled());
    QVERIFY(STOP1->isEnabled() && !STOP1->isChecked());
    QVERIFY(!control<ClickablePanel>(w, "BtCOM1")->isEnabled());
    QTest::mouseClick(BtDiscon, Qt::LeftButton);
    QVERIFY(!w.links().COMM2().Connected());
    QVERIFY(BTCon->isVisible());
    QVERIFY(!START1->isChecked() && START1->isEnabled());
    QVERIFY(STOP1->isChecked() && !STOP1->isEnabled());
    QVERIFY(notifier.messages.isEmpty());
}

void TestLinkControls::toggleGroupMovesWithoutActions()
{
    PseudoTerminal pty;
    qputenv("SORREL_COM1", pty.slavePath().toLocal8Bit());
    RecordingNotifier notifier;
    AppOptions options;
    options.demo = true;
    TFCOMM w(options, notifier);
    auto *COMCon = control<QPushButton>(w, "COMCon");
    auto *USB = control<QPushButton>(w, "USB");
    w.show();
    QTest::mouseClick(COMCon, Qt::LeftButton);
    QVERIFY(COMCon->isChecked());
    QVERIFY(w.links().COMM2().Connected());
    QTest::mouseClick(USB, Qt::LeftButton);
    QVERIFY(USB->isChecked());
    QVERIFY(!COMCon->isChecked());
    QVERIFY(w.links().COMM2().Connected()); // COMCon went up without its action
    QVERIFY(w.links().bridge().opened());
    QVERIFY(notifier.messages.isEmpty());
}

// The box keeps its text and gains a line: the device, the reason, what to do.
void TestLinkControls::bridgeThatWillNotOpenSaysWhy()
{
    PseudoTerminal pty;
    qputenv("SORREL_BRIDGE", pty.slavePath().toLocal8Bit());
    RecordingNotifier notifier;
    TFCOMM w(AppOptions{}, notifier);
    auto *USB = control<QPushButton>(w, "USB");
    w.show();
    {
        test::UnreadableDevice unreadable(pty.slavePath());
        if (!unreadable.active())
            QSKIP("cannot make the device unreadable here");
        QTest::mouseClick(USB, Qt::LeftButton);
    }
    QCOMPARE(
        notifier.messages,
        (QList<RecordingNotifier::Message>{
            {MessageKind::Plain, QStringLiteral("Open the equipments mistake\n%1: Permission denied. To use it "
                                                "without root, install the udev rule 60-sorrel.rules, or run "
                                                "'sudo usermod -aG dialout $USER' and log in again.")
                                     .arg(pty.slavePath())}}));
    QVERIFY(USB->isChecked()); // as after any refused open
}

void TestLinkControls::demoMeterThroughUsbButton()
{
    RecordingNotifier notifier;
    AppOptions options;
    options.demo = true;
    TFCOMM w(options, notifier);
    auto *USB = control<QPushButton>(w, "USB");
    w.show();
    QStringList frames;
    QObject receiver;
    // A second listener beside the window's own: the session still gets every frame.
    QObject::connect(&w.links().bridge(), &BridgeLink::frameReceived, &receiver,
                     [&](const QString &f) { frames << f; });
    QTest::mouseClick(USB, Qt::LeftButton);
    QVERIFY(notifier.messages.isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(!frames.isEmpty(), 3000);
    QCOMPARE(frames.first().right(2), QStringLiteral("DA"));
    QCOMPARE(w.session().frameText(), frames.last());

    QTest::mouseClick(USB, Qt::LeftButton);
    QVERIFY(!USB->isChecked());
    QCOMPARE(control<QPlainTextEdit>(w, "Memo3")->toPlainText(), QStringLiteral("Test finish"));
    QVERIFY(!w.links().bridge().Timer1().isActive());

    // usb_dll opens the bridge by itself too.
    QTest::mouseClick(control<QPushButton>(w, "usb_dll"), Qt::LeftButton);
    QVERIFY(w.links().bridge().opened());
    QVERIFY(notifier.messages.isEmpty());
}

void TestLinkControls::hidWithoutCable()
{
    RecordingNotifier notifier;
    TFCOMM w(AppOptions{}, notifier);
    auto *USBCon = control<QPushButton>(w, "USBCon");
    auto *HistoryListBox = control<QListWidget>(w, "HistoryListBox");
    w.show();
    if (control<QListWidget>(w, "DevListBox")->currentRow() >= 0)
        QSKIP("a HID cable is attached to this machine");
    QTest::mouseClick(USBCon, Qt::LeftButton);
    QCOMPARE(notifier.texts(),
             QStringList{"USB interface cable is not securely connected, please check and re-try."});
    QVERIFY(!USBCon->isChecked());
    // The history shows what the link adds, and Clear empties it.
    w.links().hid().reportHandler(nullptr, 0, QByteArray("\xF1\x35", 2));
    QCOMPARE(HistoryListBox->count(), 1);
    QCOMPARE(HistoryListBox->currentItem()->text(), QStringLiteral("R 00  F1 35 "));
    QTest::mouseClick(control<QPushButton>(w, "ClearBtn"), Qt::LeftButton);
    QCOMPARE(HistoryListBox->count(), 0);
    w.links().hid().reportHandler(nullptr, 0, QByteArray("\xF0", 1));
    QCOMPARE(control<QPlainTextEdit>(w, "Memo1")->toPlainText(), QStringLiteral("5"));
}

QTEST_MAIN(TestLinkControls)
#include "tst_linkcontrols.moc"
