#include "app/metersession.h"
#include "link/bridgelink.h"
#include "link/demometer.h"
#include "link/ternframeencoder.h"
#include "link/togglegroup.h"
#include "link/ttybridgeapi.h"

#include <QTest>

using namespace sorrel;

namespace {

// The glyph a decoder shows for a segment pattern (d g e f dp b c a), written out
// independently of the encoder.
QString glyphFor(const QString &pattern)
{
    static const QList<std::pair<QString, QString>> table{
        {"0", "10110111"}, {"0", "10111111"}, {"1", "00000110"}, {"1", "00001110"}, {"2", "11100101"},
        {"2", "11101101"}, {"3", "11000111"}, {"3", "11001111"}, {"4", "01010110"}, {"4", "01011110"},
        {"5", "11010011"}, {"5", "11011011"}, {"6", "11110011"}, {"6", "11111011"}, {"7", "00000111"},
        {"7", "00001111"}, {"8", "11110111"}, {"8", "11111111"}, {"9", "11010111"}, {"9", "11011111"},
        {"L", "10110000"}, {"L", "10111000"}};
    for (const auto &[glyph, bits] : table)
        if (bits == pattern)
            return glyph;
    return QStringLiteral(" ");
}

QString lowDigits(const QByteArray &bytes)
{
    QString t;
    for (char b : bytes)
        t += QString::number(quint8(b) & 0x0F, 16).toUpper();
    return t;
}

QString bitText(const QString &frameText)
{
    QString bits;
    for (QChar c : frameText)
        bits += QStringLiteral("%1").arg(QString(c).toInt(nullptr, 16), 4, 2, QLatin1Char('0'));
    return bits;
}

// What a reader of the frame sees: four glyphs with the point as "." and the lit
// annunciator bits.
struct Seen {
    QString display;
    QList<int> bits;
};

Seen read(const QByteArray &frame)
{
    const QString bits = bitText(lowDigits(frame));
    Seen s;
    // Digit k's pattern starts at frame position 3 + 2 * (4 - k).
    for (int digit = 1; digit <= 4; ++digit) {
        const int pos = 3 + 2 * (4 - digit);
        const QString pattern = bits.mid((pos - 1) * 4, 8);
        s.display += glyphFor(pattern);
        if (digit < 4 && pattern.at(4) == u'1')
            s.display += u'.';
    }
    for (int b = 73; b <= 96; ++b)
        if (bits.at(b - 1) == u'1')
            s.bits << b;
    return s;
}

} // namespace

class TestDemoMeter : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void knownFrames_data();
    void knownFrames();
    void bridgeFrameShape();
    void serialFrameShape();
    void displayText_data();
    void displayText();
    void simulatorPlaysAMeter();
    void demoBridgeThroughTheBridgeLink();
};

void TestDemoMeter::knownFrames_data()
{
    QTest::addColumn<QString>("display");
    QTest::addColumn<QString>("positions3to10");
    QTest::newRow("12.34") << "12.34"
                           << "56C7ED06";
    QTest::newRow("overload") << " 0L "
                              << "00B0B700";
    QTest::newRow("leading one with its point") << "1.   "
                                                << "000000"
                                                   "0E";
}

void TestDemoMeter::knownFrames()
{
    QFETCH(QString, display);
    QFETCH(QString, positions3to10);
    const auto d = TernDisplay::fromText(display);
    QVERIFY(d);
    QCOMPARE(lowDigits(encodeTernBridgeFrame(*d)).mid(2, 8), positions3to10);
}

void TestDemoMeter::bridgeFrameShape()
{
    TernDisplay d = *TernDisplay::fromText(QStringLiteral("199.9"));
    d.set(TernBit::LUX);
    d.set(TernBit::USB);
    d.set(TernBit::REC);
    d.set(TernBit::LCDHold);
    const QByteArray f = encodeTernBridgeFrame(d);
    QCOMPARE(f.size(), 32);
    QCOMPARE(quint8(f.at(30)), quint8(0x0D));
    QCOMPARE(quint8(f.at(31)), quint8(0x0A));
    const QString text = lowDigits(f);
    QCOMPARE(text.mid(30, 2), QStringLiteral("DA"));
    QCOMPARE(text.at(1), QChar(u'0'));
    const Seen s = read(f);
    QCOMPARE(s.display, QStringLiteral("199.9"));
    QCOMPARE(s.bits, (QList<int>{73, 79, 92, 96}));
}

void TestDemoMeter::serialFrameShape()
{
    const QByteArray f = encodeTernSerialFrame(*TernDisplay::fromText(QStringLiteral("12.34")));
    QCOMPARE(f.size(), 14);
    QString high;
    for (char b : f)
        high += QString::number(quint8(b) >> 4, 16).toUpper();
    QCOMPARE(high, QStringLiteral("123456789ABCDE"));
    QCOMPARE(lowDigits(f).mid(2, 8), QStringLiteral("56C7ED06"));
}

void TestDemoMeter::displayText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("shown");
    QTest::newRow("short number right-aligned") << "5" << true << "   5";
    QTest::newRow("point after digit 3") << "45.6" << true << " 45.6";
    QTest::newRow("five digits") << "12345" << false << "";
    QTest::newRow("point after the last digit") << "123." << false << "";
    QTest::newRow("two points") << "1.2.3" << false << "";
    QTest::newRow("other letter") << "12A4" << false << "";
}

void TestDemoMeter::displayText()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(QString, shown);
    const auto d = TernDisplay::fromText(text);
    QCOMPARE(bool(d), valid);
    if (d) {
        QCOMPARE(d->text(), shown);
        QCOMPARE(read(encodeTernBridgeFrame(*d)).display, shown);
    }
}

void TestDemoMeter::simulatorPlaysAMeter()
{
    LightMeterSimulator sim(12345);
    int overloads = 0, unitChanges = 0, pointChanges = 0, recOn = 0, powerOff = 0;
    QList<int> lastUnit;
    int lastPoint = -1;
    const QList<int> units{73, 74, 75, 76};
    for (int i = 0; i < 2000; ++i) {
        const TernDisplay d = sim.next();
        const QByteArray f = encodeTernBridgeFrame(d);
        const QString text = lowDigits(f);
        QCOMPARE(text.mid(30, 2), QStringLiteral("DA"));
        QCOMPARE(text.at(1), QChar(u'0'));
        const Seen s = read(f);
        // Every digit the meter shows is one a decoder recognises.
        QCOMPARE(s.display, d.text());
        QVERIFY(s.bits.contains(79)); // USB stays visible
        QList<int> unit;
        for (int b : s.bits)
            if (b == 73 || b == 74)
                unit << b;
        QCOMPARE(unit.size(), 1);
        if (d.text() == u" 0L ") {
            ++overloads;
        } else {
            bool ok = false;
            QString(d.text()).remove(u'.').trimmed().toInt(&ok);
            QVERIFY2(ok, qPrintable(d.text()));
            if (lastPoint != -1 && d.point != lastPoint)
                ++pointChanges;
            lastPoint = d.point;
        }
        if (!lastUnit.isEmpty() && unit != lastUnit)
            ++unitChanges;
        lastUnit = unit;
        recOn += d.has(TernBit::REC);
        powerOff += !d.has(TernBit::power);
    }
    QVERIFY(overloads > 0);
    QVERIFY(unitChanges > 0);
    QVERIFY(pointChanges > 0);
    QVERIFY(recOn > 0 && recOn < 2000);
    QVERIFY(powerOff > 0 && powerOff < 2000);
}

void TestDemoMeter::demoBridgeThroughTheBridgeLink()
{
    DemoMeter meter(7);
    QVERIFY(meter.plug());
    std::unique_ptr<TtyBridgeApi> api = meter.makeBridgeApi();
    RecordingNotifier notifier;
    MeterSession session(resolveProfile(ModelFlags::shipped()), QStringLiteral("."), notifier);
    ToggleGroup toggles;
    BridgeLink link(*api, session, toggles);
    QStringList frames;
    QObject::connect(&link, &BridgeLink::frameReceived, &link, [&](const QString &f) { frames << f; });

    toggles.setDown(Toggle::USB, true);
    link.USBClick();
    QVERIFY(notifier.messages.isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(frames.size() >= 2, 3000);
    for (const QString &f : frames) {
        QCOMPARE(f.size(), 32);
        QCOMPARE(f.mid(30, 2), QStringLiteral("DA"));
        QCOMPARE(f.at(1), QChar(u'0'));
    }

    // Pulled: reads fail, nothing is reported, no frames.
    meter.unplug();
    QTRY_VERIFY(api->isLost(link.handle()));
    const qsizetype before = frames.size();
    QTest::qWait(600);
    QCOMPARE(frames.size(), before);
    QVERIFY(notifier.messages.isEmpty());

    // Without the meter the button finds no bridge.
    toggles.setDown(Toggle::USB, false);
    link.USBClick();
    toggles.setDown(Toggle::USB, true);
    link.USBClick();
    QCOMPARE(notifier.texts(),
             QStringList{"USB interface cable is not connected properly, please check and re-try."});
    QVERIFY(!toggles.isDown(Toggle::USB));

    // Plugged in again: a new start reads again.
    QVERIFY(meter.plug());
    toggles.setDown(Toggle::USB, true);
    link.USBClick();
    QTRY_VERIFY_WITH_TIMEOUT(frames.size() >= before + 2, 3000);
}

QTEST_MAIN(TestDemoMeter)
#include "tst_demometer.moc"
