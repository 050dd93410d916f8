#include "decode/decodedframe.h"
#include "decode/framebuilder.h"

#include <QTest>

using namespace sorrel;
using testframes::TernFrame;
using testframes::WrenFrame;

namespace {

const ScaleNumbers kClass2{2000, 200, 20, 40}; // the shipped profile

QString glyphs(const DecodedFrame &f)
{
    QString s;
    for (char g : f.glyphs)
        s += g ? QChar(g) : QChar(u'_');
    return s;
}

QString secondRow(const DecodedFrame &f)
{
    QString s;
    for (int i = 0; i < f.secondRowCount; ++i)
        s += f.secondRow[size_t(i)] ? QChar(f.secondRow[size_t(i)]) : QChar(u'_');
    return s;
}

QString pointsLit(const DecodedFrame &f)
{
    QStringList lit;
    for (const IndicatorBit &b : f.points)
        if (b.on)
            lit << QString::fromLatin1(indicatorName(b.id));
    return lit.join(u' ');
}

QStringList annunciatorsLit(const DecodedFrame &f)
{
    QStringList lit;
    for (const IndicatorBit &b : f.annunciators)
        if (b.on)
            lit << QString::fromLatin1(indicatorName(b.id));
    return lit;
}

} // namespace

class TestDecoders : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void ternDigits_data();
    void ternDigits();
    void ternAnnunciators_data();
    void ternAnnunciators();
    void ternDialAndBar_data();
    void ternDialAndBar();
    void wrenCells_data();
    void wrenCells();
    void wrenAnnunciators_data();
    void wrenAnnunciators();
    void wrenShortSerialFrame();
    void rook();
    void badDigit_data();
    void badDigit();
};

void TestDecoders::ternDigits_data()
{
    QTest::addColumn<QString>("frame");
    QTest::addColumn<QString>("separator");
    QTest::addColumn<QString>("glyphs"); // LcdDa..LcdDd, '_' blank
    QTest::addColumn<QString>("points");
    QTest::addColumn<QString>("value");
    QTest::addColumn<int>("pointPosition");
    QTest::addColumn<float>("reading"); // -1: no number
    QTest::addColumn<QString>("second");

    auto pad = [](const QString &pos3to10) { return "00" + pos3to10 + QString(20, u'0') + "DA"; };
    QTest::newRow("1234 with LcdP2") << pad("56C7ED06") << "."
                                     << "1234"
                                     << "LcdP2"
                                     << "12.34" << 2 << 1234.f << "000000";
    QTest::newRow("German separator") << pad("56C7ED06") << ","
                                      << "1234"
                                      << "LcdP2"
                                      << "12,34" << 2 << 1234.f << "000000";
    QTest::newRow("0L overload reads full scale") << pad("00B0B700") << "."
                                                  << "_0@_"
                                                  << ""
                                                  << "0L" << 0 << 2000.f << "000000";
    QTest::newRow("point bit on digit 1") << TernFrame().digits("1234").point(1).text() << "."
                                          << "1234"
                                          << "LcdP1"
                                          << "1.234" << 1 << 1234.f << "000000";
    QTest::newRow("raw 0E on digit 1") << pad("56C7E50E") << "."
                                       << "1234"
                                       << "LcdP1"
                                       << "1.234" << 1 << 1234.f << "000000";
    QTest::newRow("digit 4 with its point bit is blank") << TernFrame().digits("1234").point(4).text() << "."
                                                         << "123_"
                                                         << ""
                                                         << "123" << 0 << 123.f << "000000";
    QTest::newRow("leading blanks") << TernFrame().digits(" 123").text() << "."
                                    << "_123"
                                    << ""
                                    << "123" << 0 << 123.f << "000000";
    QTest::newRow("all blank") << TernFrame().text() << "."
                               << "____"
                               << ""
                               << "" << 0 << -1.f << "000000";
    QTest::newRow("all blank, points lit") << TernFrame().point(1).point(3).text() << ","
                                           << "____"
                                           << "LcdP1 LcdP3"
                                           << ",," << 3 << -1.f << "000000";
    QTest::newRow("last lit point wins position") << TernFrame().digits("1234").point(1).point(3).text() << "."
                                                  << "1234"
                                                  << "LcdP1 LcdP3"
                                                  << "1.23.4" << 3 << 1234.f << "000000";
    QTest::newRow("L with point on digit 3 stays L") << TernFrame().digits(" 0L ").point(3).text() << "."
                                                     << "_0@_"
                                                     << "LcdP3"
                                                     << "0L." << 3 << 2000.f << "000000";
    QTest::newRow("L with point on digit 2 is blank") << TernFrame().digits("1L23").point(2).text() << "."
                                                      << "1_23"
                                                      << "LcdP2"
                                                      << "1.23" << 2 << 123.f << "000000";
    QTest::newRow("L elsewhere stays @ and is no number") << TernFrame().digits("L123").text() << "."
                                                          << "@123"
                                                          << ""
                                                          << "@123" << 0 << -1.f << "000000";
    QTest::newRow("unknown pattern is blank") << TernFrame().digits("1g34").text() << "."
                                              << "1_34"
                                              << ""
                                              << "134" << 0 << 134.f << "000000";
    QTest::newRow("second row copied as characters") << TernFrame()
                                                            .digits("0005")
                                                            .pos(25, u'1')
                                                            .pos(26, u'2')
                                                            .pos(27, u'A')
                                                            .pos(28, u'F')
                                                            .pos(29, u'0')
                                                            .pos(30, u'9')
                                                            .text()
                                                     << "."
                                                     << "0005"
                                                     << ""
                                                     << "0005" << 0 << 5.f << "12AF09";
    QTest::newRow("14 digits: second row empty") << TernFrame().digits("1234").point(2).first(14) << "."
                                                 << "1234"
                                                 << "LcdP2"
                                                 << "12.34" << 2 << 1234.f << "______";
}

void TestDecoders::ternDigits()
{
    QFETCH(QString, frame);
    QFETCH(QString, separator);
    const DecodedFrame f = LcdDisplayTern(frame, {separator, kClass2});
    QCOMPARE(f.family, Family::Tern);
    QCOMPARE(f.badDigit, char16_t(0));
    QTEST(glyphs(f), "glyphs");
    QTEST(pointsLit(f), "points");
    QTEST(f.value.toString(), "value");
    QTEST(f.pointPosition, "pointPosition");
    QFETCH(float, reading);
    QCOMPARE(f.reading.value_or(-1.f), reading);
    QTEST(secondRow(f), "second");
}

void TestDecoders::ternAnnunciators_data()
{
    QTest::addColumn<QString>("frame");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<QStringList>("lit");

    const TernFrame base = TernFrame().digits("1234");
    QTest::newRow("no unit bit") << base.text() << "" << QStringList{};
    QTest::newRow("lux") << TernFrame(base).bit(73).text() << "lux" << QStringList{"LUX"};
    QTest::newRow("fc") << TernFrame(base).bit(74).text() << "fc" << QStringList{"FC"};
    QTest::newRow("lux and cd: cd wins, both shown")
        << TernFrame(base).bit(73).bit(75).text() << "cd" << QStringList{"LUX", "CD"};
    QTest::newRow("X10 over every other unit") << TernFrame(base).bit(73).bit(74).bit(75).bit(76).text()
                                               << "X10-lux" << QStringList{"LUX", "FC", "CD", "X10"};
    QTest::newRow("word bits") << TernFrame(base).bit(77).bit(79).bit(83).bit(88).bit(92).bit(96).text() << ""
                               << QStringList{"loadNO", "USB", "auto", "o4", "REC", "LCDHold"};
    QTest::newRow("bits 89 and 90 are unused")
        << TernFrame(base).bit(89).bit(90).bit(91).text() << "" << QStringList{"p_off"};
    // Positions 15-32 of a 14-digit frame repeat position 14.
    QTest::newRow("14 digits, position 14 = 8")
        << TernFrame(base).pos(14, u'8').first(14) << "lux" << QStringList{"LUX", "loadNO", "t_p", "o1", "REL"};
    QTest::newRow("14 digits, position 14 = 0") << TernFrame(base).first(14) << "" << QStringList{};
}

void TestDecoders::ternAnnunciators()
{
    QFETCH(QString, frame);
    const DecodedFrame f = LcdDisplayTern(frame, {u".", kClass2});
    QTEST(unitText(f.unit), "unit");
    QTEST(annunciatorsLit(f), "lit");
    // Every annunciator is set one way or the other on every frame.
    QCOMPARE(int(f.annunciators.size), 22);
}

void TestDecoders::ternDialAndBar_data()
{
    QTest::addColumn<QString>("digits");
    QTest::addColumn<int>("dial"); // -1: not moved
    QTest::addColumn<int>("bar");

    QTest::newRow("1234: leading three digits") << "1234" << 123 + 200 << 1234;
    QTest::newRow("3999 fills the bar") << "3999" << 399 + 200 << 3999;
    QTest::newRow("overload") << " 0L " << 400 << 20;
    QTest::newRow("1 alone: empty pair") << "   1" << -1 << 1;
    QTest::newRow("10: pair '1'") << "  10" << 1 + 200 << 10;
    QTest::newRow("0001: last three digits") << "0001" << 1 + 200 << 1;
    QTest::newRow("0000") << "0000" << 200 << 1;
    QTest::newRow("001 and a blank") << "001 " << 1 + 200 << 1;
    QTest::newRow("0009 counts as 9") << "0009" << 0 + 200 << 9;
}

void TestDecoders::ternDialAndBar()
{
    QFETCH(QString, digits);
    const DecodedFrame f = LcdDisplayTern(TernFrame().digits(digits).text(), {u".", kClass2});
    QVERIFY(f.reading);
    QFETCH(int, dial);
    QCOMPARE(f.dial.value_or(-1), dial);
    QTEST(f.bar, "bar");
}

void TestDecoders::wrenCells_data()
{
    QTest::addColumn<QString>("frame");
    QTest::addColumn<QString>("main");
    QTest::addColumn<QString>("second");
    QTest::addColumn<QString>("points");
    QTest::addColumn<QString>("value");
    QTest::addColumn<int>("pointPosition");

    const QString head = "03603FAD6B" + QString(22, u'0');
    QTest::newRow("bridge head reads usb.1") << head << "usb1"
                                             << "____"
                                             << "LcdP3"
                                             << "usb.1" << 3;
    QTest::newRow("digits and points") << WrenFrame().main("1234").second("5678").cellPoint(3).cellPoint(7).text()
                                       << "1234"
                                       << "5678"
                                       << "LcdP2 LcdP22"
                                       << "12.34" << 2;
    QTest::newRow("5 pattern is s in LcdDb only") << WrenFrame().main("5555").second("5555").text() << "5s55"
                                                  << "5555"
                                                  << ""
                                                  << "5s55" << 0;
    QTest::newRow("b pattern only in LcdDc") << WrenFrame().main("bbbb").second("bbbb").text() << "__b_"
                                             << "____"
                                             << ""
                                             << "b" << 0;
    QTest::newRow("u pattern only in LcdDa") << WrenFrame().main("uuuu").second("uuuu").text() << "u___"
                                             << "____"
                                             << ""
                                             << "u" << 0;
    QTest::newRow("0L") << WrenFrame().main(" 0L ").text() << "_0@_"
                        << "____"
                        << ""
                        << "0L" << 0;
    QTest::newRow("L outside digit 3 stays @") << WrenFrame().main("L000").text() << "@000"
                                               << "____"
                                               << ""
                                               << "@000" << 0;
    QTest::newRow("LcdP1 and LcdP3: position 3")
        << WrenFrame().main("1234").cellPoint(4).cellPoint(2).text() << "1234"
        << "____"
        << "LcdP3 LcdP1"
        << "1.23.4" << 3;
    QTest::newRow("point bits of cells 1 and 5 change nothing")
        << WrenFrame().main("1234").cellPoint(1).cellPoint(5).text() << "1234"
        << "____"
        << ""
        << "1234" << 0;
    QTest::newRow("digits past 32 are ignored") << WrenFrame().main("1234").text() + "FFFFFFFF"
                                                << "1234"
                                                << "____"
                                                << ""
                                                << "1234" << 0;
    QTest::newRow("dark cell") << WrenFrame().text() << "____"
                               << "____"
                               << ""
                               << "" << 0;
}

void TestDecoders::wrenCells()
{
    QFETCH(QString, frame);
    const DecodedFrame f = LcdDisplayWren(frame, {u".", kClass2});
    QCOMPARE(f.family, Family::Wren);
    QTEST(glyphs(f), "main");
    QTEST(secondRow(f), "second");
    QTEST(pointsLit(f), "points");
    QTEST(f.value.toString(), "value");
    QTEST(f.pointPosition, "pointPosition");
    QVERIFY(!f.reading); // the Wren decoder derives no number
}

void TestDecoders::wrenAnnunciators_data()
{
    QTest::addColumn<QList<int>>("positions");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<QStringList>("lit");

    QTest::newRow("none") << QList<int>{} << "" << QStringList{};
    QTest::newRow("112 and 113: X100, NO not read") << QList<int>{112, 113} << "X100" << QStringList{};
    QTest::newRow("113 alone shows NO") << QList<int>{113} << "" << QStringList{"NO"};
    QTest::newRow("104 and 110: the multiplier wins") << QList<int>{104, 110} << "X10" << QStringList{"ms", "Z1"};
    QTest::newRow("108 and 109") << QList<int>{108, 109} << "Km|h" << QStringList{"X10", "kmh"};
    QTest::newRow("each unit") << QList<int>{102} << "CMM" << QStringList{"CMM"};
    QTest::newRow("CFM") << QList<int>{103} << "CFM" << QStringList{"CFM"};
    QTest::newRow("knots") << QList<int>{105} << "Knots" << QStringList{"knots"};
    QTest::newRow("ft|min") << QList<int>{106} << "ft|min" << QStringList{"ftmin"};
    QTest::newRow("MPH") << QList<int>{107} << "MPH" << QStringList{"mph"};
    QTest::newRow("x1") << QList<int>{108} << "x1" << QStringList{"X10"};
    QTest::newRow("position 91 is not read") << QList<int>{91} << "" << QStringList{};
    QTest::newRow("USB and the minus sign") << QList<int>{80, 87} << "" << QStringList{"USB", "LcdFH"};
    QTest::newRow("first and last of the field") << QList<int>{73, 111} << "" << QStringList{"AVE", "p_off"};
}

void TestDecoders::wrenAnnunciators()
{
    QFETCH(QList<int>, positions);
    WrenFrame frame;
    for (int p : positions)
        frame.bit(p);
    const DecodedFrame f = LcdDisplayWren(frame.text(), {u".", kClass2});
    QTEST(unitText(f.unit), "unit");
    QTEST(annunciatorsLit(f), "lit");
}

void TestDecoders::wrenShortSerialFrame()
{
    // LF, nine data bytes, CR: the missing digits count as 0 and light nothing.
    const DecodedFrame f = LcdDisplayWren(u"A123456789D", {u".", kClass2});
    QCOMPARE(f.badDigit, char16_t(0));
    QCOMPARE(annunciatorsLit(f), QStringList{});
    QCOMPARE(unitText(f.unit), QString());
    QCOMPARE(pointsLit(f), QString());
    QCOMPARE(secondRow(f), QString("____"));
}

void TestDecoders::rook()
{
    const DecodedFrame f = LcdDisplayRook();
    QCOMPARE(f.family, Family::Rook);
    QCOMPARE(glyphs(f), QString("usb1"));
    QCOMPARE(secondRow(f), QString("______"));
    QCOMPARE(f.points.find(Ind::LcdP2), std::optional<bool>(false));
    QCOMPARE(f.points.find(Ind::LcdP3), std::optional<bool>(true));
    QVERIFY(!f.points.find(Ind::LcdP1)); // left alone
    QCOMPARE(int(f.annunciators.size), 0);
}

void TestDecoders::badDigit_data()
{
    QTest::addColumn<bool>("wren");
    QTest::addColumn<QString>("frame");
    QTest::addColumn<QChar>("bad");
    QTest::newRow("tern") << false << "00G" + QString(27, u'0') + "DA" << QChar(u'G');
    QTest::newRow("tern, lower case") << false << "00a" + QString(27, u'0') + "DA" << QChar(u'a');
    QTest::newRow("wren") << true << "03603FAD6B" + QString(20, u'0') + " 0" << QChar(u' ');
}

void TestDecoders::badDigit()
{
    QFETCH(bool, wren);
    QFETCH(QString, frame);
    QFETCH(QChar, bad);
    const DecodeContext ctx{u".", kClass2};
    const DecodedFrame f = wren ? LcdDisplayWren(frame, ctx) : LcdDisplayTern(frame, ctx);
    QCOMPARE(QChar(f.badDigit), bad);
    // Past the 32nd digit nothing is read, so nothing is wrong.
    const DecodedFrame longer = wren ? LcdDisplayWren(QString(frame).replace(bad, u'0') + "ZZ", ctx)
                                     : LcdDisplayTern(QString(frame).replace(bad, u'0') + "ZZ", ctx);
    QCOMPARE(longer.badDigit, char16_t(0));
}

QTEST_APPLESS_MAIN(TestDecoders)
#include "tst_decoders.moc"
