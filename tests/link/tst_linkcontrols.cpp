#include "app/gui/tfcomm.h"
#include "link/bridgelink.h"
#include "link/demometer.h"
#include "link/hidlink.h"
#include "link/linkwatchdog.h"
#include "link/pseudoterminal.h"
#include "link/serialconnection.h"
#include "link/unreadabledevice.h"

#include <QAction>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

using namespace sorrel;

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
    w.show();
    const QRect client = w.client()->rect();
    const QList<QWidget *> parked{w.BtCOM1, w.BtCOM2, w.BtCOM3, w.BtCOM4, w.BTCon, w.BtDiscon, w.COMCon,
                                  w.USBCon, w.ReadBtn, w.SetFeature, w.ClearBtn, w.usb_dll, w.DevListBox,
                                  w.HistoryListBox, w.USBtxt, w.Memo1, w.Memo3};
    for (QWidget *c : parked) {
        QVERIFY(c);
        QVERIFY2(!c->isVisible() || !client.intersects(c->geometry()), qPrintable(c->objectName()));
    }
    QVERIFY(w.USB->isVisible());
    QVERIFY(!w.USB->isChecked());
    QVERIFY(w.Timer1->isActive());
    QCOMPARE(w.Timer1->interval(), 10);
    QVERIFY(w.ConTimer->isActive());
    QCOMPARE(w.ConTimer->interval(), 100);
    // COMM2 as stored and bound by the shipped profile; CommPortDriver1 keeps the defaults.
    QCOMPARE(w.COMM2->ComPort(), pnCOM1);
    QCOMPARE(w.COMM2->ComPortSpeed(), br2400);
    QVERIFY(w.COMM2->OnReceiveData);
    QCOMPARE(w.CommPortDriver1->ComPortSpeed(), br9600);
    QVERIFY(!w.CommPortDriver1->OnReceiveData);
    QVERIFY(notifier.messages.isEmpty());
}

void TestLinkControls::portPanelsCycleByClicks()
{
    RecordingNotifier notifier;
    TFCOMM w(AppOptions{}, notifier);
    w.show();
    const QList<ClickablePanel *> order{w.BtCOM2, w.BtCOM3, w.BtCOM4, w.BtCOM1};
    QVERIFY(w.BtCOM1->isVisible() && !w.BtCOM2->isVisible());
    for (int i = 0; i < 4; ++i) {
        ClickablePanel *shown = nullptr;
        for (ClickablePanel *p : {w.BtCOM1, w.BtCOM2, w.BtCOM3, w.BtCOM4})
            if (p->isVisible())
                shown = shown ? nullptr : p; // exactly one
        QVERIFY(shown);
        QTest::mouseClick(shown, Qt::LeftButton);
        QVERIFY(order.at(i)->isVisible());
    }
    QCOMPARE(w.COMM2->ComPort(), pnCOM1);
    QCOMPARE(w.BtCOM1->text(), QStringLiteral("COM 1"));
}

void TestLinkControls::connectThatFailsStaysDisconnected()
{
    qputenv("SORREL_COM1", "/nonexistent/ttyA");
    RecordingNotifier notifier;
    TFCOMM w(AppOptions{}, notifier);
    w.show();
    QTest::mouseClick(w.BTCon, Qt::LeftButton);
    QCOMPARE(notifier.messages, (QList<RecordingNotifier::Message>{{MessageKind::Error, "Could not open COM 1.\n/nonexistent/ttyA: No such file or directory."}}));
    QVERIFY(w.BTCon->isVisible());
    QVERIFY(!w.BtDiscon->isVisible());
    QVERIFY(w.START1->isEnabled());
    QVERIFY(!w.STOP1->isEnabled());
    QVERIFY(w.BtCOM1->isEnabled());
}

void TestLinkControls::connectMenuAndPanels()
{
    PseudoTerminal pty;
    qputenv("SORREL_COM1", pty.slavePath().toLocal8Bit());
    RecordingNotifier notifier;
    TFCOMM w(AppOptions{}, notifier);
    w.show();
    w.START1->trigger();
    QVERIFY(w.COMM2->Connected());
    QVERIFY(!w.BTCon->isVisible());
    QVERIFY(w.BtDiscon->isVisible());
    QVERIFY(w.START1->isChecked() && !w.START1->isEnabled());
    QVERIFY(w.STOP1->isEnabled() && !w.STOP1->isChecked());
    QVERIFY(!w.BtCOM1->isEnabled());
    QTest::mouseClick(w.BtDiscon, Qt::LeftButton);
    QVERIFY(!w.COMM2->Connected());
    QVERIFY(w.BTCon->isVisible());
    QVERIFY(!w.START1->isChecked() && w.START1->isEnabled());
    QVERIFY(w.STOP1->isChecked() && !w.STOP1->isEnabled());
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
    w.show();
    QTest::mouseClick(w.COMCon, Qt::LeftButton);
    QVERIFY(w.COMCon->isChecked());
    QVERIFY(w.COMM2->Connected());
    QTest::mouseClick(w.USB, Qt::LeftButton);
    QVERIFY(w.USB->isChecked());
    QVERIFY(!w.COMCon->isChecked());
    QVERIFY(w.COMM2->Connected()); // COMCon went up without its action
    QVERIFY(w.links->bridge().opened());
    QVERIFY(notifier.messages.isEmpty());
}

// The box keeps its text and gains a line: the device, the reason, what to do.
void TestLinkControls::bridgeThatWillNotOpenSaysWhy()
{
    PseudoTerminal pty;
    qputenv("SORREL_BRIDGE", pty.slavePath().toLocal8Bit());
    RecordingNotifier notifier;
    TFCOMM w(AppOptions{}, notifier);
    w.show();
    {
        test::UnreadableDevice unreadable(pty.slavePath());
        if (!unreadable.active())
            QSKIP("cannot make the device unreadable here");
        QTest::mouseClick(w.USB, Qt::LeftButton);
    }
    QCOMPARE(notifier.messages,
             (QList<RecordingNotifier::Message>{
                 {MessageKind::Plain, QStringLiteral("Open the equipments mistake\n%1: Permission denied. To use it "
                                                     "without root, install the udev rule 60-sorrel.rules, or run "
                                                     "'sudo usermod -aG dialout $USER' and log in again.")
                                          .arg(pty.slavePath())}}));
    QVERIFY(w.USB->isChecked()); // as after any refused open
}

void TestLinkControls::demoMeterThroughUsbButton()
{
    RecordingNotifier notifier;
    AppOptions options;
    options.demo = true;
    TFCOMM w(options, notifier);
    w.show();
    QStringList frames;
    QObject receiver;
    // A second listener beside the window's own: the session still gets every frame.
    QObject::connect(&w.links->bridge(), &BridgeLink::frameReceived, &receiver,
                     [&](const QString &f) { frames << f; });
    QTest::mouseClick(w.USB, Qt::LeftButton);
    QVERIFY(notifier.messages.isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(!frames.isEmpty(), 3000);
    QCOMPARE(frames.first().right(2), QStringLiteral("DA"));
    QCOMPARE(w.session().frameText(), frames.last());

    QTest::mouseClick(w.USB, Qt::LeftButton);
    QVERIFY(!w.USB->isChecked());
    QCOMPARE(w.Memo3->toPlainText(), QStringLiteral("Test finish"));
    QVERIFY(!w.Timer1->isActive());

    // usb_dll opens the bridge by itself too.
    QTest::mouseClick(w.usb_dll, Qt::LeftButton);
    QVERIFY(w.links->bridge().opened());
    QVERIFY(notifier.messages.isEmpty());
}

void TestLinkControls::hidWithoutCable()
{
    RecordingNotifier notifier;
    TFCOMM w(AppOptions{}, notifier);
    w.show();
    if (w.DevListBox->currentRow() >= 0)
        QSKIP("a HID cable is attached to this machine");
    QTest::mouseClick(w.USBCon, Qt::LeftButton);
    QCOMPARE(notifier.texts(),
             QStringList{"USB interface cable is not securely connected, please check and re-try."});
    QVERIFY(!w.USBCon->isChecked());
    // The history shows what the link adds, and Clear empties it.
    w.links->hid().reportHandler(nullptr, 0, QByteArray("\xF1\x35", 2));
    QCOMPARE(w.HistoryListBox->count(), 1);
    QCOMPARE(w.HistoryListBox->currentItem()->text(), QStringLiteral("R 00  F1 35 "));
    QTest::mouseClick(w.ClearBtn, Qt::LeftButton);
    QCOMPARE(w.HistoryListBox->count(), 0);
    w.links->hid().reportHandler(nullptr, 0, QByteArray("\xF0", 1));
    QCOMPARE(w.Memo1->toPlainText(), QStringLiteral("5"));
}

QTEST_MAIN(TestLinkControls)
#include "tst_linkcontrols.moc"
