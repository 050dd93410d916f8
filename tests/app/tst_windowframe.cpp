#include "app/gui/tfcomm.h"
#include "decode/framebuilder.h"
#include "display/gui/limitpanel.h"

#include <QLabel>
#include <QLineEdit>
#include <QTest>

using namespace sorrel;

// A frame fed to the window's session reaches the panel state and the limit panel.
class TestWindowFrame : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void frameShowsReadingAndVerdict();
};

void TestWindowFrame::frameShowsReadingAndVerdict()
{
    RecordingNotifier notifier;
    TFCOMM w(AppOptions{}, notifier);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    auto *panel = w.findChild<LimitPanel *>(QStringLiteral("Panel4"));
    QVERIFY(panel);
    QCOMPARE(panel->geometry(), QRect(400, 32, 319, 121));
    QCOMPARE(panel->T1HI->text(), QStringLiteral("2000"));
    QVERIFY(panel->conokn->isVisible() && !panel->conok->isVisible());
    QCOMPARE(panel->judge->text(), QString());

    const QString sep = w.session().state().decimalSeparator;
    w.session().dispatchBridgeFrame(testframes::TernFrame().digits("1234").point(2).bit(73).text());
    const LcdPanelState &p = w.session().panel();
    QCOMPARE(p.text(Ind::LcdDa) + p.text(Ind::LcdDb) + p.text(Ind::LcdDc) + p.text(Ind::LcdDd),
             QStringLiteral("1234"));
    QVERIFY(p.isShown(Ind::LcdP2) && p.isShown(Ind::LUX));
    QCOMPARE(panel->T1VALUE->text(), "12" + sep + "34");
    QCOMPARE(panel->judge->text(), QStringLiteral("Pass"));
    QCOMPARE(panel->Shape1->fill(), LimitPanel::kPass);
    QCOMPARE(panel->T1VALUE->palette().color(QPalette::Base), LimitPanel::kPass);
    QVERIFY(panel->conok->isVisible() && !panel->conokn->isVisible());

    w.session().dispatchBridgeFrame(testframes::TernFrame().digits(" 0L ").text());
    QCOMPARE(panel->T1VALUE->text(), QStringLiteral("0L"));
    QCOMPARE(panel->judge->text(), QStringLiteral("Fail"));
    QCOMPARE(panel->judge->palette().color(QPalette::Window), LimitPanel::kFail);
    w.session().darkenReceiveLamp();
    QVERIFY(panel->conokn->isVisible() && !panel->conok->isVisible());
    QVERIFY(notifier.messages.isEmpty());
}

QTEST_MAIN(TestWindowFrame)
#include "tst_windowframe.moc"
