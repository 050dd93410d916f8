#include "app/metersession.h"
#include "display/gui/limitpanel.h"
#include "display/limitjudge.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTest>

using namespace sorrel;

class TestLimitJudge : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void readNumber_data();
    void readNumber();
    void keyFilter_data();
    void keyFilter();
    void changeAndExit_data();
    void changeAndExit();
    void judging_data();
    void judging();
    void widgetRules();
};

void TestLimitJudge::readNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("separator");
    QTest::addColumn<double>("value");
    const double no = kNotANumber;
    QTest::newRow("point") << "12.34"
                           << "." << 12.34;
    QTest::newRow("comma") << "12,34"
                           << "," << 12.34;
    QTest::newRow("point under a comma locale") << "12.34"
                                                << "," << no;
    QTest::newRow("signs") << "-5"
                           << "." << -5.0;
    QTest::newRow("plus") << "+5"
                          << "." << 5.0;
    QTest::newRow("blanks around") << " 7 "
                                   << "." << 7.0;
    QTest::newRow("exponent") << "1e3"
                              << "." << 1000.0;
    QTest::newRow("negative exponent") << "25E-1"
                                       << "." << 2.5;
    QTest::newRow("exponent without digits") << "1e"
                                             << "." << no;
    QTest::newRow("leading point") << ".5"
                                   << "." << 0.5;
    QTest::newRow("trailing point") << "5."
                                    << "." << 5.0;
    QTest::newRow("two points") << "1.2.3"
                                << "." << no;
    QTest::newRow("overload text") << "0L"
                                   << "." << no;
    QTest::newRow("apostrophe") << "12'"
                                << "." << no;
    QTest::newRow("sign alone") << "-"
                                << "." << no;
    QTest::newRow("point alone") << "."
                                 << "." << no;
    QTest::newRow("empty") << ""
                           << "." << no;
    QTest::newRow("inner blank") << "1 2"
                                 << "." << no;
    QTest::newRow("the value itself") << "-999999"
                                      << "." << no;
    QTest::newRow("out of range") << "1e999"
                                  << "." << no;
    QTest::newRow("no separator") << "12.5"
                                  << "" << no;
}

void TestLimitJudge::readNumber()
{
    QFETCH(QString, text);
    QFETCH(QString, separator);
    QTEST(readLimitNumber(text, separator), "value");
}

void TestLimitJudge::keyFilter_data()
{
    QTest::addColumn<QString>("separator");
    QTest::addColumn<QString>("boxText");
    QTest::addColumn<QChar>("key");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("digit") << "."
                           << "12" << QChar(u'7') << true;
    QTest::newRow("letter") << "."
                            << "12" << QChar(u'a') << false;
    QTest::newRow("blank") << "."
                           << "12" << QChar(u' ') << false;
    QTest::newRow("first point") << "."
                                 << "12" << QChar(u'.') << true;
    QTest::newRow("second point") << "."
                                  << "1.2" << QChar(u'.') << false;
    QTest::newRow("comma locale: comma") << ","
                                         << "12" << QChar(u',') << true;
    QTest::newRow("comma locale: second comma") << ","
                                                << "1,2" << QChar(u',') << false;
    QTest::newRow("comma locale: point still passes") << ","
                                                      << "1,2" << QChar(u'.') << true;
    QTest::newRow("point locale: comma") << "."
                                         << "12" << QChar(u',') << false;
    QTest::newRow("apostrophe") << "."
                                << "12" << QChar(u'\'') << true;
    QTest::newRow("grave accent") << "."
                                  << "12" << QChar(u'`') << true;
    QTest::newRow("backspace") << "."
                               << "1.2" << QChar(8) << true;
    QTest::newRow("signs") << "."
                           << "" << QChar(u'+') << true;
    QTest::newRow("minus") << "."
                           << "" << QChar(u'-') << true;
}

void TestLimitJudge::keyFilter()
{
    QFETCH(QString, separator);
    QFETCH(QString, boxText);
    QFETCH(QChar, key);
    RecordingNotifier n;
    LimitJudge j(separator);
    j.change(LimitBox::Low, boxText, n);
    QTEST(j.acceptsKey(LimitBox::Low, key), "accepted");
}

void TestLimitJudge::changeAndExit_data()
{
    QTest::addColumn<QStringList>("texts"); // each put into the high box in turn
    QTest::addColumn<bool>("leave");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("lastAccepted");
    QTest::addColumn<int>("errors");

    QTest::newRow("numbers pass") << QStringList{"2000", "25"} << false << "25"
                                  << "25" << 0;
    QTest::newRow("apostrophe refused, put back") << QStringList{"2000", "2000'"} << false << "2000"
                                                  << "2000" << 1;
    QTest::newRow("-999999 refused") << QStringList{"5", "-999999"} << false << "5"
                                     << "5" << 1;
    QTest::newRow("minus while typing stays") << QStringList{"2000", "", "-"} << false << "-"
                                              << "2000" << 0;
    QTest::newRow("minus left: put back") << QStringList{"2000", "", "-"} << true << "2000"
                                          << "2000" << 0;
    QTest::newRow("blanks left: put back") << QStringList{"2000", "   "} << true << "2000"
                                           << "2000" << 0;
    QTest::newRow("number left: kept") << QStringList{"2000", "-3"} << true << "-3"
                                       << "-3" << 0;
    QTest::newRow("nothing accepted yet: minus left empties") << QStringList{"-"} << true << ""
                                                              << "" << 0;
    QTest::newRow("nothing accepted yet: refusal empties") << QStringList{"abc"} << false << ""
                                                           << "" << 1;
}

void TestLimitJudge::changeAndExit()
{
    QFETCH(QStringList, texts);
    QFETCH(bool, leave);
    RecordingNotifier n;
    LimitJudge j;
    for (const QString &t : texts)
        j.change(LimitBox::High, t, n);
    if (leave)
        j.leave(LimitBox::High);
    QTEST(j.text(LimitBox::High), "text");
    QTEST(j.lastAccepted(LimitBox::High), "lastAccepted");
    QFETCH(int, errors);
    QCOMPARE(n.messages.size(), errors);
    for (const auto &m : n.messages)
        QCOMPARE(m, (RecordingNotifier::Message{MessageKind::Error, "Numerical input errors"}));
    // The low box keeps its own texts.
    QCOMPARE(j.text(LimitBox::Low), QStringLiteral("-6000"));
    QCOMPARE(j.lastAccepted(LimitBox::Low), QString());
}

void TestLimitJudge::judging_data()
{
    QTest::addColumn<QString>("separator");
    QTest::addColumn<QString>("high");
    QTest::addColumn<QString>("low");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("verdict"); // "" skipped
    QTest::newRow("comma value inside") << ","
                                        << "20"
                                        << "0"
                                        << "12,34"
                                        << "Pass";
    QTest::newRow("comma limits") << ","
                                  << "12,3"
                                  << "0"
                                  << "12,34"
                                  << "Fail";
    QTest::newRow("exponent limit") << "."
                                    << "1e4"
                                    << "-1e4"
                                    << "9999"
                                    << "Pass";
    QTest::newRow("value text no number") << "."
                                          << "9"
                                          << "0"
                                          << "usb.1"
                                          << "Fail";
    QTest::newRow("low limit in progress") << "."
                                           << "9"
                                           << "+"
                                           << "1"
                                           << "";
}

void TestLimitJudge::judging()
{
    QFETCH(QString, separator);
    RecordingNotifier n;
    LimitJudge j(separator);
    QFETCH(QString, high);
    QFETCH(QString, low);
    QFETCH(QString, value);
    j.change(LimitBox::High, high, n);
    j.change(LimitBox::Low, low, n);
    QVERIFY(n.messages.isEmpty());
    j.setMeasuredValue(value);
    const auto v = j.judge();
    QTEST(v ? QString::fromLatin1(verdictText(*v)) : QString(), "verdict");
}

// The widget forwards keys, edits and focus changes to the rules.
void TestLimitJudge::widgetRules()
{
    RecordingNotifier n;
    MeterSession session(resolveProfile(ModelFlags::shipped()), ",", n);
    QWidget top;
    auto *panel = new LimitPanel(session, &top);
    auto *other = new QLineEdit(&top);
    other->move(0, 200);
    top.show();
    QVERIFY(QTest::qWaitForWindowExposed(&top));
    QLineEdit *hi = panel->T1HI;
    QLineEdit *lo = panel->T1LO;
    QCOMPARE(hi->text(), QStringLiteral("2000"));
    QCOMPARE(lo->text(), QStringLiteral("-2000"));

    hi->setFocus();
    hi->selectAll();
    QTest::keyClicks(hi, "12a,5,x");
    QCOMPARE(hi->text(), QStringLiteral("12,5")); // letters and a second separator never arrive
    QCOMPARE(session.judge().text(LimitBox::High), QStringLiteral("12,5"));
    QTest::keyClick(hi, Qt::Key_Backspace);
    QCOMPARE(hi->text(), QStringLiteral("12,"));
    QTest::keyClick(hi, u'\'');
    QCOMPARE(n.texts(), QStringList{"Numerical input errors"});
    QCOMPARE(hi->text(), QStringLiteral("12,")); // put back to the last accepted text

    lo->setFocus();
    lo->selectAll();
    // X11 and Wayland give Delete the text U+007F: an editing key, not a character.
    QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier, QStringLiteral("\x7f"));
    QApplication::sendEvent(lo, &del);
    QCOMPARE(lo->text(), QString());
    QTest::keyClick(lo, u'-');
    QCOMPARE(lo->text(), QStringLiteral("-"));
    other->setFocus();
    QCOMPARE(lo->text(), QStringLiteral("-2000")); // leaving an entry in progress
    QCOMPARE(hi->text(), QStringLiteral("12,"));
    QCOMPARE(n.messages.size(), 1);
}

QTEST_MAIN(TestLimitJudge)
#include "tst_limitjudge.moc"
