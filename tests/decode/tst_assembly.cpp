#include "app/metersession.h"
#include "decode/dispatch.h"
#include "decode/framebuilder.h"
#include "decode/hidburstjoiner.h"

#include <QTest>

using namespace sorrel;

namespace {

// A serial Tern frame: high digits count 1..E, low digits are the frame text.
QByteArray ternBytes(const QString &digits14)
{
    QByteArray b;
    for (int i = 0; i < 14; ++i)
        b += char((i + 1) << 4 | QString(digits14[i]).toInt(nullptr, 16));
    return b;
}

// A serial Wren frame: LF, data bytes, CR.
QByteArray wrenBytes(const QByteArray &data)
{
    return "\n" + data + "\r";
}

QString lowDigits(const QByteArray &bytes)
{
    QString s;
    for (char c : bytes)
        s += QString::number(quint8(c) & 0x0f, 16).toUpper();
    return s;
}

struct Capture {
    QStringList decoded; // frame texts the decoders ran on
    explicit Capture(MeterSession &s)
    {
        QObject::connect(&s, &MeterSession::frameDecoded, &s, [this, &s] { decoded << s.frameText(); });
    }
};

const QString kT1 = testframes::TernFrame().digits("1234").point(2).bit(73).first(14);
const QString kT2 = testframes::TernFrame().digits(" 567").bit(74).first(14);
const QByteArray kW = wrenBytes("123456789");

} // namespace

class TestAssembly : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void serial_data();
    void serial();
    void droppedFrameStillSetsFrameText();
    void boundedAccumulators();
    void dispatchTables_data();
    void dispatchTables();
    void sessionRoutesByLink();
    void hidBursts_data();
    void hidBursts();
    void hidReportLine();
};

void TestAssembly::serial_data()
{
    QTest::addColumn<bool>("wrenHandler");
    QTest::addColumn<QList<QByteArray>>("calls");
    QTest::addColumn<QStringList>("decoded");

    const QByteArray t1 = ternBytes(kT1), t2 = ternBytes(kT2);
    const QString w = lowDigits(kW);
    QTest::newRow("tern split 5 + 9") << false << QList<QByteArray>{t1.left(5), t1.mid(5)} << QStringList{kT1};
    QTest::newRow("tern byte by byte") << false << [&] {
        QList<QByteArray> l;
        for (char c : t1)
            l << QByteArray(1, c);
        return l;
    }() << QStringList{kT1};
    QTest::newRow("two tern frames in one call") << false << QList<QByteArray>{t1 + t2} << QStringList{kT1, kT2};
    QTest::newRow("tail of a frame in progress") << false << QList<QByteArray>{t2.mid(6) + t1} << QStringList{kT1};
    QTest::newRow("a byte lost") << false << QList<QByteArray>{t2.left(6) + t2.mid(7), t1} << QStringList{kT1};
    QTest::newRow("an extra byte") << false << QList<QByteArray>{t2.left(6) + "\x75" + t2.mid(6), t1}
                                   << QStringList{kT1};
    QTest::newRow("wren stream on the tern handler") << false << QList<QByteArray>{kW + kW + kW} << QStringList{};
    QTest::newRow("tern stream on the wren handler") << true << QList<QByteArray>{t1 + t2 + t1} << QStringList{};
    QTest::newRow("wren frames picked up at LF") << true << QList<QByteArray>{kW + kW} << QStringList{w, w};
    QTest::newRow("wren split") << true << QList<QByteArray>{kW.left(4), kW.mid(4)} << QStringList{w};
    QTest::newRow("wren picked up mid-frame") << true << QList<QByteArray>{kW.mid(3) + kW} << QStringList{w};
    QTest::newRow("CR as fifth byte ends the frame")
        << true << QList<QByteArray>{QByteArray("\n123\r56789\r") + kW} << QStringList{w};
    QTest::newRow("wren frame under 11 digits")
        << true << QList<QByteArray>{wrenBytes("12345678")} << QStringList{};
    const QByteArray w32 = wrenBytes(QByteArray(30, '\x3d'));
    QTest::newRow("32-byte wren frame") << true << QList<QByteArray>{w32} << QStringList{lowDigits(w32)};
    const QByteArray w64 = wrenBytes(QByteArray(62, '\x3d'));
    QTest::newRow("64-byte wren frame") << true << QList<QByteArray>{w64} << QStringList{lowDigits(w64)};
}

void TestAssembly::serial()
{
    QFETCH(bool, wrenHandler);
    QFETCH(QList<QByteArray>, calls);
    RecordingNotifier notifier;
    MeterSession session(resolveProfile(ModelFlags::shipped()), ".", notifier);
    Capture capture(session);
    for (const QByteArray &c : calls) {
        if (wrenHandler)
            session.HWrenRData(c);
        else
            session.HTernRData(c);
    }
    QTEST(capture.decoded, "decoded");
    QVERIFY(notifier.messages.isEmpty());
}

void TestAssembly::droppedFrameStillSetsFrameText()
{
    RecordingNotifier notifier;
    MeterSession session(resolveProfile(ModelFlags::shipped()), ".", notifier);
    session.HTernRData(ternBytes(kT1));
    const QByteArray partial = ternBytes(kT2).mid(9);
    session.HTernRData(partial);
    QCOMPARE(session.frameText(), lowDigits(partial));
    QCOMPARE(session.panel().text(Ind::LcdDb), QStringLiteral("2")); // still the last good frame
}

void TestAssembly::boundedAccumulators()
{
    RecordingNotifier notifier;
    MeterSession session(resolveProfile(ModelFlags::shipped()), ".", notifier);
    Capture capture(session);
    // A tern meter on a port bound to the Wren handler: no frame end for a long time.
    const QByteArray t = ternBytes(kT1);
    for (int i = 0; i < 5000; ++i) {
        session.HWrenRData(t);
        QVERIFY(session.assembler().dataDigits().size() <= size_t(FrameAssembler::kKeptDigits));
    }
    const QByteArray newest = lowDigits(t.repeated(5)).right(64).toLatin1();
    const std::string_view held = session.assembler().dataDigits();
    QCOMPARE(QByteArray(held.data(), qsizetype(held.size())), newest);
    QCOMPARE(session.assembler().sequenceDigits().size(), size_t(64));
    // The frame that overflowed is dropped; the next one passes.
    session.HWrenRData(kW + kW);
    QCOMPARE(capture.decoded, QStringList{lowDigits(kW)});
}

void TestAssembly::dispatchTables_data()
{
    QTest::addColumn<QString>("frame");
    QTest::addColumn<QString>("hid"); // family name or ""
    QTest::addColumn<QString>("bridge");

    auto tail = [](QChar second) {
        QString t(32, u'0');
        t[1] = second;
        t[30] = u'D';
        t[31] = u'A';
        return t;
    };
    const QString head = "03603FAD6B" + QString(22, u'0');
    QTest::newRow("second 0") << tail(u'0') << "tern"
                              << "tern";
    QTest::newRow("second 1: HID only") << tail(u'1') << "tern"
                                        << "";
    QTest::newRow("second 2: rook on HID") << tail(u'2') << "rook"
                                           << "";
    QTest::newRow("second F") << tail(u'F') << "tern"
                              << "tern";
    QTest::newRow("second E: none") << tail(u'E') << ""
                                    << "";
    QTest::newRow("tail AD: none") << QString(tail(u'0')).replace(30, 2, "AD") << ""
                                   << "";
    QTest::newRow("31 digits: no tail") << tail(u'0').left(31) << ""
                                        << "";
    QTest::newRow("wren head") << head << "wren"
                               << "wren";
    QTest::newRow("wren head with a DA tail") << head.left(30) + "DA"
                                              << "wren"
                                              << "wren";
    QTest::newRow("14-digit wren head") << head.left(14) << "wren"
                                        << "wren";
    QTest::newRow("9 digits of the head") << head.left(9) << ""
                                          << "";
    QTest::newRow("empty") << QString() << ""
                           << "";
}

void TestAssembly::dispatchTables()
{
    QFETCH(QString, frame);
    auto name = [](std::optional<Family> f) { return f ? QString::fromLatin1(familyName(*f)) : QString(); };
    QTEST(name(dispatchFamily(kHidDispatch, frame)), "hid");
    QTEST(name(dispatchFamily(kBridgeDispatch, frame)), "bridge");
}

void TestAssembly::sessionRoutesByLink()
{
    RecordingNotifier notifier;
    MeterSession session(resolveProfile(ModelFlags::shipped()), ".", notifier);
    Capture capture(session);
    QString rook(32, u'0');
    rook[1] = u'2';
    rook.replace(30, 2, "DA");
    session.dispatchBridgeFrame(rook);
    QVERIFY(capture.decoded.isEmpty());
    session.dispatchHidFrame(rook);
    QCOMPARE(session.lastOutcome().family, Family::Rook);
    QCOMPARE(capture.decoded.size(), 1);

    // The bridge read takes the low digit of each byte; an open preview stops it.
    QByteArray read(32, '\x50');
    read[30] = '\x0d';
    read[31] = '\x0a';
    session.state().previewOpen = true;
    session.dispatchBridgeRead(read);
    QCOMPARE(capture.decoded.size(), 1);
    session.state().previewOpen = false;
    session.dispatchBridgeRead(read);
    QCOMPARE(capture.decoded.size(), 2);
    QCOMPARE(session.lastOutcome().family, Family::Tern);
    QCOMPARE(session.frameText(), QString(30, u'0') + "DA");
}

void TestAssembly::hidBursts_data()
{
    QTest::addColumn<QList<QByteArray>>("reports"); // data bytes after report id 0
    QTest::addColumn<QStringList>("frames");
    QTest::addColumn<int>("idle");
    QTest::addColumn<int>("historyLines");

    auto payload = [](int n, char first) {
        QByteArray r(1, char(n));
        for (int i = 0; i < n; ++i)
            r += char(first + i);
        return r;
    };
    const QByteArray empty("\x00\x00", 2);
    QTest::newRow("3 + 7 + 4, then empty: one 14-digit frame")
        << QList<QByteArray>{payload(3, 0x31), payload(7, 0x41), payload(4, 0x51), empty}
        << QStringList{"123"
                       "1234567"
                       "1234"}
        << 1 << 3;
    QList<QByteArray> forty;
    for (int i = 0; i < 5; ++i)
        forty << payload(8, char(0x30 + 8 * i));
    forty << empty;
    QTest::newRow("40 payload bytes: first 32 kept")
        << forty << QStringList{"0123456789ABCDEF0123456789ABCDEF"} << 1 << 5;
    QTest::newRow("count F0 without a burst: idle only")
        << QList<QByteArray>{QByteArray("\xf0\x11", 2)} << QStringList{} << 1 << 0;
    QTest::newRow("count 9, seven payload bytes")
        << QList<QByteArray>{payload(9, 0x31).left(8), empty} << QStringList{"1234567"} << 1 << 1;
    QTest::newRow("no data bytes: not counted, still ends a burst")
        << QList<QByteArray>{payload(2, 0x31), QByteArray()} << QStringList{"12"} << 0 << 1;
    QTest::newRow("idle reports count up")
        << QList<QByteArray>{empty, empty, QByteArray("\x0a"), empty} << QStringList{} << 4 << 0;
    QTest::newRow("payload resets idle")
        << QList<QByteArray>{empty, empty, payload(1, 0x37), empty, empty} << QStringList{"7"} << 2 << 1;
}

void TestAssembly::hidBursts()
{
    QFETCH(QList<QByteArray>, reports);
    HidBurstJoiner joiner;
    QStringList frames;
    int history = 0;
    for (const QByteArray &r : reports) {
        const HidBurstJoiner::Report out = joiner.feed(0, r);
        if (out.frameText)
            frames << *out.frameText;
        history += out.payload;
        QVERIFY(joiner.byteText().size() <= 2 * HidBurstJoiner::kMaxPairs);
    }
    QTEST(frames, "frames");
    QTEST(joiner.idleReportCount(), "idle");
    QTEST(history, "historyLines");
    QVERIFY(!joiner.burstPending());
}

void TestAssembly::hidReportLine()
{
    HidBurstJoiner joiner;
    QCOMPARE(joiner.feed(0x0a, QByteArray("\x03\xab\x0c\xff", 4)).line, QStringLiteral("R 0A  03 AB 0C FF "));
    QVERIFY(joiner.burstPending());
    QCOMPARE(joiner.byteText(), QStringLiteral("AB0CFF"));
    QCOMPARE(joiner.feed(1, {}).line, QStringLiteral("R 01  "));
}

QTEST_GUILESS_MAIN(TestAssembly)
#include "tst_assembly.moc"
