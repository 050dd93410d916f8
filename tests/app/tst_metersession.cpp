#include "app/metersession.h"
#include "decode/framebuilder.h"

#include <QTest>

using namespace sorrel;
using testframes::TernFrame;
using testframes::WrenFrame;

namespace {

// "digits:points:unit", e.g. "1234:2:lux"; points are the LcdPn lit.
QString tern(const QString &shape)
{
    const QStringList p = shape.split(u':');
    TernFrame f;
    f.digits(p.value(0));
    for (QChar n : p.value(1))
        f.point(n.digitValue());
    const QString unit = p.value(2);
    if (unit == u"lux")
        f.bit(73);
    if (unit == u"fc")
        f.bit(74);
    if (unit == u"cd")
        f.bit(75);
    return f.text();
}

struct Fixture {
    RecordingNotifier notifier;
    MeterSession session{resolveProfile(ModelFlags::shipped()), QStringLiteral("."), notifier};
    QList<int> dial;
    int records = 0;
    Fixture()
    {
        QObject::connect(&session, &MeterSession::dialMoved, &session, [this](int p) { dial << p; });
        QObject::connect(&session, &MeterSession::readingJudged, &session, [this] { ++records; });
    }
    bool shown(Ind id) const { return session.panel().isShown(id); }
    QString text(Ind id) const { return session.panel().text(id); }
    QString mainRow() const { return text(Ind::LcdDa) + text(Ind::LcdDb) + text(Ind::LcdDc) + text(Ind::LcdDd); }
};

} // namespace

class TestMeterSession : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void countedTernFrame();
    void frameWithoutNumber();
    void tracking_data();
    void tracking();
    void wrenSharesExtremesWithTern();
    void rookLeavesTheRestAlone();
    void usbButtonFollowsBit79();
    void badDigitReachesTheErrorReport();
    void judgedByTheLimits_data();
    void judgedByTheLimits();
    void startUpLimitTexts();
    void injectFrame_data();
    void injectFrame();
};

void TestMeterSession::countedTernFrame()
{
    Fixture fx;
    MeterSession &s = fx.session;
    s.state().watchdogCount = 5;
    s.panel().show(Ind::AVE); // common reset set
    s.panel().show(Ind::z4);  // light-meter reset set
    s.panel().hide(Ind::USB);

    // The recorder runs after the dial and the judge and before the bar and usb1.
    QString seenAtRecord;
    QObject receiver;
    QObject::connect(&s, &MeterSession::readingJudged, &receiver, [&] {
        seenAtRecord = QStringLiteral("%1 %2 %3 %4 %5")
                           .arg(s.judge().measuredValue(), QString::fromLatin1(verdictText(s.judge().verdict())),
                                QString::number(s.panel().bar()), QString::number(s.panel().isShown(Ind::usb1)),
                                QString::number(fx.dial.size()));
    });
    s.dispatchBridgeFrame(TernFrame().digits("1234").point(2).bit(73).bit(79).bit(93).text());

    QCOMPARE(fx.mainRow(), QStringLiteral("1234"));
    QVERIFY(fx.shown(Ind::LcdP2) && !fx.shown(Ind::LcdP1) && !fx.shown(Ind::LcdP3));
    QVERIFY(fx.shown(Ind::LUX) && fx.shown(Ind::REL) && fx.shown(Ind::USB));
    QVERIFY(!fx.shown(Ind::AVE) && !fx.shown(Ind::z4));
    QVERIFY(fx.shown(Ind::conok) && !fx.shown(Ind::conokn));
    QCOMPARE(s.state().watchdogCount, 0);
    QVERIFY(fx.shown(Ind::T_dPoint1) && fx.shown(Ind::T_dPoint2) && fx.shown(Ind::usb1));
    QCOMPARE(fx.text(Ind::LcdDa2) + fx.text(Ind::LCDDF2), QStringLiteral("00"));
    QCOMPARE(s.state().currentValue, QStringLiteral("12.34"));
    QCOMPARE(s.state().currentUnit, QStringLiteral("lux"));
    QCOMPARE(s.state().lastReading, 1234.f);
    QCOMPARE(fx.dial, QList<int>{323});
    QCOMPARE(fx.records, 1);
    QCOMPARE(seenAtRecord, QStringLiteral("12.34 Pass 30 0 1"));
    QCOMPARE(s.panel().bar(), 1234);
    QCOMPARE(s.lastOutcome().counted, true);
    QCOMPARE(s.lastOutcome().verdict, std::optional<Verdict>(Verdict::Pass));
}

void TestMeterSession::frameWithoutNumber()
{
    Fixture fx;
    MeterSession &s = fx.session;
    s.dispatchBridgeFrame(tern("1234:2:lux"));
    s.panel().hide(Ind::usb1);
    s.dispatchBridgeFrame(tern("    :1:fc"));

    QCOMPARE(fx.mainRow(), QString());
    QVERIFY(fx.shown(Ind::LcdP1) && !fx.shown(Ind::LcdP2) && fx.shown(Ind::FC) && !fx.shown(Ind::LUX));
    QCOMPARE(s.state().currentValue, QStringLiteral("."));
    QCOMPARE(s.state().currentUnit, QStringLiteral("fc"));
    // Everything after the number step keeps its state.
    QCOMPARE(s.state().lastReading, 1234.f);
    QCOMPARE(fx.dial.size(), 1);
    QCOMPARE(fx.records, 1);
    QCOMPARE(s.judge().measuredValue(), QStringLiteral("12.34"));
    QCOMPARE(s.panel().bar(), 1234);
    QVERIFY(!fx.shown(Ind::usb1));
    QVERIFY(fx.shown(Ind::T_dPoint1)); // shown with the reset, before the digits
    QCOMPARE(s.lastOutcome().counted, false);
    QVERIFY(!s.lastOutcome().verdict);
}

void TestMeterSession::tracking_data()
{
    QTest::addColumn<QStringList>("frames");
    QTest::addColumn<QString>("maxText");
    QTest::addColumn<QString>("minText");
    QTest::addColumn<float>("runningMax");
    QTest::addColumn<float>("runningMin");

    QTest::newRow("first frame restarts") << QStringList{"1234:2:lux"} << ""
                                          << "" << -2000.f << 2000.f;
    QTest::newRow("second frame is both") << QStringList{"1234:2:lux", "1234:2:lux"} << "12.34"
                                          << "12.34" << 1234.f << 1234.f;
    QTest::newRow("higher, then lower")
        << QStringList{"1000::lux", "1000::lux", "1500::lux", "0500::lux"} << "1500"
        << "0500" << 1500.f << 500.f;
    QTest::newRow("unit change restarts, texts stay")
        << QStringList{"1000::lux", "1000::lux", "1500::fc"} << "1000"
        << "1000" << -2000.f << 2000.f;
    QTest::newRow("point change restarts") << QStringList{"1000::lux", "1000::lux", "1500:2:lux"} << "1000"
                                           << "1000" << -2000.f << 2000.f;
    QTest::newRow("empty unit to lux restarts") << QStringList{"1000::", "1000::", "1500::lux"} << "1000"
                                                << "1000" << -2000.f << 2000.f;
    QTest::newRow("overload counts as full scale") << QStringList{"1000::lux", "1000::lux", " 0L ::lux"} << "0L"
                                                   << "1000" << 2000.f << 1000.f;
    QTest::newRow("frame without number is skipped") << QStringList{"1000::lux", "    ::fc", "1000::lux"} << "1000"
                                                     << "1000" << 1000.f << 1000.f;
}

void TestMeterSession::tracking()
{
    QFETCH(QStringList, frames);
    Fixture fx;
    for (const QString &f : frames)
        fx.session.dispatchBridgeFrame(tern(f));
    const ReadingState &st = fx.session.state();
    QTEST(st.maxText, "maxText");
    QTEST(st.minText, "minText");
    QTEST(st.runningMax, "runningMax");
    QTEST(st.runningMin, "runningMin");
    QCOMPARE(fx.text(Ind::MaxText), st.maxText);
    QCOMPARE(fx.text(Ind::MinText), st.minText);
    QCOMPARE(fx.text(Ind::MaxTextU), st.previousUnit);
    QCOMPARE(fx.text(Ind::MinTextU), st.previousUnit);
}

void TestMeterSession::wrenSharesExtremesWithTern()
{
    Fixture fx;
    MeterSession &s = fx.session;
    s.dispatchBridgeFrame(tern("1234::"));
    s.dispatchBridgeFrame(tern("1234::"));
    s.panel().hide(Ind::usb1);
    s.panel().hide(Ind::T_dPoint1);
    s.darkenReceiveLamp();
    const int dialCalls = fx.dial.size();

    // Same (empty) unit and point position: the Wren frame compares the Tern reading
    // and takes its own value text.
    s.setFrameText(WrenFrame().main("5678").second("9012").bit(74).text());
    s.LcdDisplayWren(1);
    QCOMPARE(s.state().maxText, QStringLiteral("5678"));
    QCOMPARE(s.state().minText, QStringLiteral("5678"));
    QCOMPARE(s.state().lastReading, 1234.f);
    QCOMPARE(fx.mainRow(), QStringLiteral("5678"));
    QCOMPARE(fx.text(Ind::LcdDa2) + fx.text(Ind::LcdDd2), QStringLiteral("92"));
    QCOMPARE(fx.text(Ind::LCDDE2), QStringLiteral("0")); // the Tern frame's, untouched
    QVERIFY(fx.shown(Ind::MAX));
    QVERIFY(fx.shown(Ind::conok) && !fx.shown(Ind::conokn));
    // No dial, judge, recorder, usb1 or colons for Wren frames.
    QCOMPARE(fx.dial.size(), dialCalls);
    QCOMPARE(fx.records, 2);
    QCOMPARE(s.judge().measuredValue(), QStringLiteral("1234"));
    QVERIFY(!fx.shown(Ind::usb1) && !fx.shown(Ind::T_dPoint1));
    QCOMPARE(s.lastOutcome().family, Family::Wren);
    QCOMPARE(s.lastOutcome().counted, false);

    // A Wren unit restarts tracking for the Tern frames that follow.
    s.setFrameText(WrenFrame().main("5678").bit(104).text());
    s.LcdDisplayWren(1);
    QCOMPARE(s.state().previousUnit, QStringLiteral("m|s"));
    s.dispatchBridgeFrame(tern("0999::"));
    QCOMPARE(s.state().runningMax, -2000.f);
    QCOMPARE(s.state().maxText, QStringLiteral("5678"));
}

void TestMeterSession::rookLeavesTheRestAlone()
{
    Fixture fx;
    MeterSession &s = fx.session;
    s.dispatchBridgeFrame(tern("1234:1:lux"));
    s.darkenReceiveLamp();
    s.state().watchdogCount = 7;
    QString rook(32, u'0');
    rook[1] = u'2';
    rook.replace(30, 2, "DA");
    s.dispatchHidFrame(rook);

    QCOMPARE(fx.mainRow(), QStringLiteral("usb1"));
    QVERIFY(fx.shown(Ind::LcdP1) && !fx.shown(Ind::LcdP2) && fx.shown(Ind::LcdP3));
    QVERIFY(fx.shown(Ind::usb1));
    QVERIFY(!fx.shown(Ind::LUX) && !fx.shown(Ind::T_dPoint1) && !fx.shown(Ind::T_dPoint2));
    QVERIFY(!fx.shown(Ind::conok) && fx.shown(Ind::conokn));
    QCOMPARE(s.state().watchdogCount, 7);
    QCOMPARE(fx.text(Ind::LcdDa2) + fx.text(Ind::LCDDF2), QString());
    QCOMPARE(s.state().currentValue, QStringLiteral("1.234"));
    QCOMPARE(s.state().currentUnit, QStringLiteral("lux"));
    QCOMPARE(fx.records, 1);
}

void TestMeterSession::usbButtonFollowsBit79()
{
    Fixture fx;
    QVERIFY(fx.shown(Ind::USB)); // the layout shows it
    fx.session.dispatchBridgeFrame(tern("1234::lux"));
    QVERIFY(!fx.shown(Ind::USB));
    fx.session.dispatchBridgeFrame(TernFrame().digits("1234").bit(79).text());
    QVERIFY(fx.shown(Ind::USB));
    fx.session.setFrameText(WrenFrame().text());
    fx.session.LcdDisplayWren();
    QVERIFY(!fx.shown(Ind::USB));
    fx.session.setFrameText(WrenFrame().bit(80).text());
    fx.session.LcdDisplayWren();
    QVERIFY(fx.shown(Ind::USB));
}

void TestMeterSession::badDigitReachesTheErrorReport()
{
    Fixture fx;
    MeterSession &s = fx.session;
    s.dispatchBridgeFrame(tern("1234::lux"));
    s.darkenReceiveLamp();
    s.setFrameText(u"03603FAD6B000000x");
    QString caught;
    try {
        s.LcdDisplayWren(1);
    } catch (const Failure &f) {
        caught = f.text();
    }
    QCOMPARE(caught, QStringLiteral("'x' is not a valid integer value"));
    QVERIFY(fx.shown(Ind::conok)); // only the first step took effect
    QCOMPARE(fx.mainRow(), QStringLiteral("1234"));
    QVERIFY(fx.shown(Ind::LUX));
    // The general error report catches it in the window.
    QVERIFY(!runGuarded(fx.notifier, [&] { s.LcdDisplayTern(1); }));
    QCOMPARE(fx.notifier.messages.last().kind, MessageKind::Failure);
}

void TestMeterSession::judgedByTheLimits_data()
{
    QTest::addColumn<QString>("high");
    QTest::addColumn<QString>("low");
    QTest::addColumn<QString>("frame");
    QTest::addColumn<QString>("verdict"); // "" = not judged

    QTest::newRow("inside") << "2000"
                            << "-2000"
                            << "1234:2:"
                            << "Pass";
    QTest::newRow("on the high limit") << "12.34"
                                       << "0"
                                       << "1234:2:"
                                       << "Pass";
    QTest::newRow("on the low limit") << "20"
                                      << "12.34"
                                      << "1234:2:"
                                      << "Pass";
    QTest::newRow("above") << "12.33"
                           << "0"
                           << "1234:2:"
                           << "Fail";
    QTest::newRow("limits crossed") << "0"
                                    << "100"
                                    << "0050::"
                                    << "Fail";
    QTest::newRow("equal limits, equal value") << "50"
                                               << "50"
                                               << "0050::"
                                               << "Pass";
    QTest::newRow("overload fails") << "9999"
                                    << "-9999"
                                    << " 0L ::"
                                    << "Fail";
    QTest::newRow("high limit in progress: skipped") << "-"
                                                     << "0"
                                                     << "1234::"
                                                     << "";
    QTest::newRow("low limit blank: skipped") << "10"
                                              << "  "
                                              << "1234::"
                                              << "";
}

void TestMeterSession::judgedByTheLimits()
{
    QFETCH(QString, high);
    QFETCH(QString, low);
    QFETCH(QString, frame);
    QFETCH(QString, verdict);
    Fixture fx;
    LimitJudge &j = fx.session.judge();
    QCOMPARE(j.change(LimitBox::High, high, fx.notifier) == LimitJudge::Change::Refused, false);
    QCOMPARE(j.change(LimitBox::Low, low, fx.notifier) == LimitJudge::Change::Refused, false);
    fx.session.dispatchBridgeFrame(tern(frame));
    const auto v = fx.session.lastOutcome().verdict;
    QCOMPARE(v ? QString::fromLatin1(verdictText(*v)) : QString(), verdict);
    QCOMPARE(j.measuredValue(), fx.session.state().currentValue);     // T1VALUE even when skipped
    QCOMPARE(QString::fromLatin1(verdictText(j.verdict())), verdict); // nothing judged before
}

void TestMeterSession::startUpLimitTexts()
{
    RecordingNotifier n;
    MeterSession osprey(resolveProfile(ModelFlags::shipped()), ".", n);
    QCOMPARE(osprey.judge().text(LimitBox::High), QStringLiteral("2000"));
    QCOMPARE(osprey.judge().lastAccepted(LimitBox::Low), QStringLiteral("-2000"));
    MeterSession fulmar(resolveProfile(*parseModelFlags(u"fulmar")), ".", n);
    QCOMPARE(fulmar.judge().text(LimitBox::High), QStringLiteral("6000"));
    QCOMPARE(fulmar.judge().text(LimitBox::Low), QStringLiteral("-6000"));
    QCOMPARE(fulmar.judge().lastAccepted(LimitBox::High), QString()); // the layout's text never passed the rule
    QVERIFY(n.messages.isEmpty());
}

void TestMeterSession::injectFrame_data()
{
    QTest::addColumn<QString>("digits");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("mainRow");
    QTest::newRow("32 digits: bridge") << tern("1234:2:lux") << true << "1234";
    QTest::newRow("14 digits: serial tern") << tern("0567::").left(14) << true << "0567";
    QTest::newRow("wrong length") << tern("0567::").left(20) << false << "2000";
    QTest::newRow("not hex") << QString(tern("0567::")).replace(0, 1, "g") << false << "2000";
}

void TestMeterSession::injectFrame()
{
    QFETCH(QString, digits);
    Fixture fx;
    QTEST(fx.session.injectFrame(digits), "ok");
    QTEST(fx.mainRow(), "mainRow");
}

QTEST_GUILESS_MAIN(TestMeterSession)
#include "tst_metersession.moc"
