#include "app/metersession.h"
#include "link/bridgelink.h"
#include "link/togglegroup.h"

#include <QTest>

using namespace sorrel;

namespace {

// A bridge library whose answers the test sets, and which notes every call.
class FakeBridgeApi : public BridgeApi {
public:
    quint32 count = 1;
    int openStatus = 0, rateStatus = 0, timeoutStatus = 0;
    SiHandle handleGiven = 7;
    QList<QByteArray> frames; // each read takes the next; none left: time-out
    QStringList calls;
    quint32 baud = 0, readTimeout = 0, writeTimeout = 0;

    int SI_GetNumDevices(quint32 *n) override
    {
        calls << "count";
        *n = count;
        return 0;
    }
    int SI_Open(quint32 index, SiHandle *h) override
    {
        calls << QStringLiteral("open %1").arg(index);
        if (openStatus == 0)
            *h = handleGiven;
        return openStatus;
    }
    int SI_SetBaudRate(SiHandle h, quint32 b) override
    {
        calls << QStringLiteral("rate %1").arg(h);
        baud = b;
        return rateStatus;
    }
    int SI_SetTimeouts(quint32 r, quint32 w) override
    {
        calls << "timeouts";
        readTimeout = r;
        writeTimeout = w;
        return timeoutStatus;
    }
    int SI_Read(SiHandle h, void *buf, quint32 n, quint32 *got) override
    {
        calls << QStringLiteral("read %1").arg(h);
        if (h == 0 || frames.isEmpty() || n != 32)
            return SiStatus::ReadTimedOut;
        memcpy(buf, frames.takeFirst().constData(), 32);
        *got = 32;
        return 0;
    }
    int SI_FlushBuffers(SiHandle h, quint8 tx, quint8 rx) override
    {
        calls << QStringLiteral("flush %1 %2 %3").arg(h).arg(tx).arg(rx);
        return 0;
    }
    int SI_Close(SiHandle h) override
    {
        calls << QStringLiteral("close %1").arg(h);
        return 0;
    }
};

QByteArray frameWithLowDigits(const QString &digits)
{
    QByteArray out;
    for (QChar c : digits)
        out.append(char(0x30 | QString(c).toInt(nullptr, 16)));
    return out;
}

struct Rig {
    Rig()
        : session(resolveProfile(ModelFlags::shipped()), QStringLiteral("."), notifier),
          link(api, session, toggles)
    {
        QObject::connect(&link, &BridgeLink::frameReceived, &link, [this](const QString &f) { frames << f; });
    }
    void usbDown()
    {
        toggles.setDown(Toggle::USB, true);
        link.USBClick();
    }
    void usbUp()
    {
        toggles.setDown(Toggle::USB, false);
        link.USBClick();
    }
    RecordingNotifier notifier;
    FakeBridgeApi api;
    ToggleGroup toggles;
    MeterSession session;
    BridgeLink link;
    QStringList frames;
};

const QString kNotConnected = QStringLiteral(
    "USB interface cable is not connected properly, please check and re-try.");

} // namespace

class TestBridgeLink : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void pollRunsFromStart();
    void opening_data();
    void opening();
    void stopAfterFailedOpenStillCloses();
    void openingTwiceClosesFirst();
    void pollDispatchesAndFlushes();
    void previewOpenReadsButDoesNotDecode();
    void pollDarkensLamp();
};

void TestBridgeLink::pollRunsFromStart()
{
    Rig rig;
    QVERIFY(rig.link.Timer1().isActive());
    QCOMPARE(rig.link.Timer1().interval(), 10);
    // With no bridge open every tick makes one failing read on handle 0.
    rig.link.Timer1Timer();
    QCOMPARE(rig.api.calls, QStringList{"read 0"});
    QVERIFY(rig.frames.isEmpty());
}

void TestBridgeLink::opening_data()
{
    QTest::addColumn<quint32>("count");
    QTest::addColumn<int>("openStatus");
    QTest::addColumn<int>("rateStatus");
    QTest::addColumn<int>("timeoutStatus");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("usbDown");
    QTest::addColumn<QStringList>("calls");

    QTest::newRow("one bridge") << 1u << 0 << 0 << 0 << QString() << true
                                << QStringList{"count", "open 0", "rate 7", "timeouts"};
    QTest::newRow("no bridge") << 0u << 0 << 0 << 0 << kNotConnected << false << QStringList{"count"};
    QTest::newRow("two bridges") << 2u << 0 << 0 << 0 << kNotConnected << false << QStringList{"count"};
    QTest::newRow("open refused") << 1u << 4 << 0 << 0 << QStringLiteral("Open the equipments mistake") << true
                                  << QStringList{"count", "open 0"};
    QTest::newRow("rate refused") << 1u << 0 << 2 << 0 << QStringLiteral("Baud Rate set mistake") << true
                                  << QStringList{"count", "open 0", "rate 7"};
    QTest::newRow("time-outs refused") << 1u << 0 << 0 << 3 << QStringLiteral("Time out") << true
                                       << QStringList{"count", "open 0", "rate 7", "timeouts"};
}

void TestBridgeLink::opening()
{
    QFETCH(quint32, count);
    QFETCH(int, openStatus);
    QFETCH(int, rateStatus);
    QFETCH(int, timeoutStatus);
    QFETCH(QString, message);
    QFETCH(bool, usbDown);
    QFETCH(QStringList, calls);

    Rig rig;
    rig.api.count = count;
    rig.api.openStatus = openStatus;
    rig.api.rateStatus = rateStatus;
    rig.api.timeoutStatus = timeoutStatus;
    rig.usbDown();

    QCOMPARE(rig.api.calls, calls);
    if (message.isEmpty()) {
        QVERIFY(rig.notifier.messages.isEmpty());
        QCOMPARE(rig.api.baud, 19200u);
        QCOMPARE(rig.api.readTimeout, 10u);
        QCOMPARE(rig.api.writeTimeout, 10u);
    } else {
        QCOMPARE(rig.notifier.messages, (QList<RecordingNotifier::Message>{{MessageKind::Plain, message}}));
    }
    QCOMPARE(rig.toggles.isDown(Toggle::USB), usbDown);
    QCOMPARE(rig.link.opened(), count == 1);
    // The poll runs in every case.
    QVERIFY(rig.link.Timer1().isActive());

    rig.api.calls.clear();
    rig.usbUp();
    QCOMPARE(rig.link.Memo3(), QStringLiteral("Test finish"));
    QVERIFY(!rig.link.Timer1().isActive());
    const QStringList closeCalls = count == 1 ? QStringList{QStringLiteral("close %1").arg(openStatus ? 0 : 7)}
                                              : QStringList{};
    QCOMPARE(rig.api.calls, closeCalls);
}

void TestBridgeLink::stopAfterFailedOpenStillCloses()
{
    Rig rig;
    rig.api.handleGiven = 9;
    rig.usbDown();
    rig.usbUp();
    // A failed open leaves the handle of the last one; the stop closes it again.
    rig.api.openStatus = 4;
    rig.usbDown();
    rig.api.calls.clear();
    rig.usbUp();
    QCOMPARE(rig.api.calls, QStringList{"close 9"});
}

void TestBridgeLink::openingTwiceClosesFirst()
{
    Rig rig;
    rig.usbDown();
    rig.api.calls.clear();
    rig.link.usb_dllClick();
    QCOMPARE(rig.api.calls, (QStringList{"close 7", "count", "open 0", "rate 7", "timeouts"}));
    QVERIFY(rig.notifier.messages.isEmpty());
}

void TestBridgeLink::pollDispatchesAndFlushes()
{
    Rig rig;
    rig.usbDown();
    const QString tern = QStringLiteral("0F") + QString(28, u'5') + QStringLiteral("DA");
    rig.api.frames << frameWithLowDigits(tern);
    rig.session.HTernRData(QByteArray("\x11\x22\x33", 3)); // a serial frame under way
    QCOMPARE(rig.session.assembler().dataDigits().size(), size_t(3));
    rig.api.calls.clear();
    rig.link.Timer1Timer();
    QCOMPARE(rig.frames, QStringList{tern});
    QVERIFY(rig.session.assembler().dataDigits().empty());
    QVERIFY(rig.session.assembler().sequenceDigits().empty());
    QCOMPARE(rig.api.calls, (QStringList{"read 7", "flush 7 1 1", "flush 7 1 1"}));
    QCOMPARE(bridgeFrameText(reinterpret_cast<const quint8 *>("\x3B\xE7\x00\xFF"), 4), QStringLiteral("B70F"));

    // A read that fails ends the tick: no dispatch, no flush.
    rig.api.calls.clear();
    rig.link.Timer1Timer();
    QCOMPARE(rig.api.calls, QStringList{"read 7"});
    QCOMPARE(rig.frames.size(), 1);
}

void TestBridgeLink::previewOpenReadsButDoesNotDecode()
{
    Rig rig;
    rig.usbDown();
    const QString tern = QStringLiteral("00") + QString(28, u'1') + QStringLiteral("DA");
    rig.api.frames << frameWithLowDigits(tern) << frameWithLowDigits(tern);
    rig.session.state().previewOpen = true;
    rig.api.calls.clear();
    rig.link.Timer1Timer();
    QVERIFY(rig.frames.isEmpty());
    QCOMPARE(rig.api.calls, (QStringList{"read 7", "flush 7 1 1", "flush 7 1 1"}));
    rig.session.state().previewOpen = false;
    rig.link.Timer1Timer();
    QCOMPARE(rig.frames, QStringList{tern});
}

void TestBridgeLink::pollDarkensLamp()
{
    Rig rig;
    LcdPanelState &panel = rig.session.panel();
    panel.show(Ind::conok);
    panel.hide(Ind::conokn);
    rig.link.Timer1Timer();
    QVERIFY(!panel.isShown(Ind::conok));
    QVERIFY(panel.isShown(Ind::conokn));
}

QTEST_MAIN(TestBridgeLink)
#include "tst_bridgelink.moc"
