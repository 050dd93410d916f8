#include "base/lcdpanelstate.h"

#include <QTest>
#include <set>

using namespace sorrel;

class TestLcdPanelState : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void names();
    void startState();
    void resetSets_data();
    void resetSets();
};

void TestLcdPanelState::names()
{
    for (int i = 0; i < kIndicatorCount; ++i) {
        const Ind id = Ind(i);
        const auto back = indicatorByName(QString::fromLatin1(indicatorName(id)));
        QVERIFY2(back && *back == id, indicatorName(id));
    }
    QCOMPARE(indicatorByName(u"auto"), std::optional<Ind>(Ind::auto_));
    QVERIFY(!indicatorByName(u"auto_"));
    QVERIFY(!indicatorByName(u"lcdda")); // names are case-sensitive
}

void TestLcdPanelState::startState()
{
    LcdPanelState p;
    QCOMPARE(p.text(Ind::LcdDa) + p.text(Ind::LcdDb) + p.text(Ind::LcdDc) + p.text(Ind::LcdDd),
             QStringLiteral("2000"));
    QCOMPARE(p.textByName(u"LcdDa2") + p.textByName(u"LcdDb2") + p.textByName(u"LcdDc2") + p.textByName(u"LcdDd2")
                 + p.textByName(u"LCDDE2") + p.textByName(u"LCDDF2"),
             QStringLiteral("235959"));
    QCOMPARE(p.bar(), 30);
    QVERIFY(p.isShown(Ind::conokn));
    QVERIFY(!p.isShown(Ind::conok));
    QVERIFY(p.isShown(Ind::USB));
    for (Ind id : {Ind::LcdP1, Ind::LcdP2, Ind::LcdP3, Ind::LUX, Ind::usb1, Ind::REL, Ind::T_dPoint1, Ind::Z1})
        QVERIFY2(!p.isShown(id), indicatorName(id));

    // The bar keeps the value as set; clamping is a matter of painting.
    p.setBar(9999);
    QCOMPARE(p.bar(), 9999);
    // A parked indicator records its visibility all the same.
    p.show(Ind::AVE);
    QVERIFY(p.isShownByName(u"AVE"));
}

void TestLcdPanelState::resetSets_data()
{
    QTest::addColumn<bool>("lightMeter");
    QTest::addColumn<int>("size");
    QTest::newRow("common") << false << 37;
    QTest::newRow("light meter") << true << 17;
}

void TestLcdPanelState::resetSets()
{
    QFETCH(bool, lightMeter);
    QFETCH(int, size);
    const std::vector<Ind> set = lightMeter
                                     ? std::vector<Ind>(kLightMeterResetSet.begin(), kLightMeterResetSet.end())
                                     : std::vector<Ind>(kCommonResetSet.begin(), kCommonResetSet.end());
    QCOMPARE(int(set.size()), size);
    const std::set<Ind> members(set.begin(), set.end());

    // Light everything, hide the set: exactly its members go dark.
    LcdPanelState p;
    for (int i = 0; i < kIndicatorCount; ++i)
        p.show(Ind(i));
    if (lightMeter)
        p.hideLightMeterResetSet();
    else
        p.hideCommonResetSet();
    for (int i = 0; i < kIndicatorCount; ++i)
        QCOMPARE(p.isShown(Ind(i)), !members.count(Ind(i)));

    // Never in either set: the digits, points, REL, usb1, the minus sign and the colons.
    for (Ind id : {Ind::LcdDa, Ind::LcdP1, Ind::LcdP2, Ind::LcdP3, Ind::REL, Ind::usb1, Ind::LcdFH, Ind::T_dPoint1,
                   Ind::T_dPoint2})
        QVERIFY2(!members.count(id), indicatorName(id));
    if (lightMeter) {
        QCOMPARE(set.front(), Ind::p_off); // repeats a member of the common set
        QCOMPARE(set.back(), Ind::loadNO);
    } else {
        QCOMPARE(set.front(), Ind::AVE);
        QCOMPARE(set[7], Ind::USB);
        QCOMPARE(set.back(), Ind::Z1);
        QVERIFY(!members.count(Ind::LcdFH) && !members.count(Ind::loadNO));
    }
}

QTEST_APPLESS_MAIN(TestLcdPanelState)
#include "tst_lcdpanelstate.moc"
