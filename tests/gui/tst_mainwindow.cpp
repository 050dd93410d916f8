#include "app/gui/tfcomm.h"

#include <QMenuBar>
#include <QPushButton>
#include <QTest>

using namespace sorrel;

class TestMainWindow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void titleByProfile_data();
    void titleByProfile();
    void shell();
};

void TestMainWindow::titleByProfile_data()
{
    QTest::addColumn<QString>("profile");
    QTest::addColumn<QString>("title");
    QTest::newRow("shipped") << "osprey" << "Sorrel Interface Program V2.00";
    QTest::newRow("fulmar") << "fulmar" << "Fulmar USB Interface Program _Ver: 1.00";
    QTest::newRow("no effective flag") << "ibis" << "";
}

void TestMainWindow::titleByProfile()
{
    QFETCH(QString, profile);
    QFETCH(QString, title);
    RecordingNotifier notifier;
    AppOptions options;
    options.flags = *parseModelFlags(profile);
    TFCOMM w(options, notifier);
    QCOMPARE(w.windowTitle(), title);
    QVERIFY(notifier.messages.isEmpty());
}

void TestMainWindow::shell()
{
    RecordingNotifier notifier;
    TFCOMM w(AppOptions{}, notifier);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QCOMPARE(w.client()->size(), QSize(719, 544));
    QVERIFY(w.minimumSize() == w.maximumSize()); // not resizable
    QVERIFY(!(w.windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(w.windowFlags() & Qt::WindowMinimizeButtonHint);

    QCOMPARE(w.USB->text(), QStringLiteral("USB Connect "));
    QCOMPARE(w.USB->geometry(), QRect(1, 1, 109, 25));
    QCOMPARE(w.BitBtn1->text(), QStringLiteral("Exit"));
    QCOMPARE(w.BitBtn1->geometry(), QRect(640, 1, 73, 25));

    // Only "Record" shows in the menu bar; the others exist, hidden.
    QStringList visible;
    for (QAction *a : w.menuBar()->actions())
        if (a->isVisible())
            visible << a->text();
    QCOMPARE(visible, QStringList{QStringLiteral("Record")});
    QVERIFY(w.Connect1 && w.Graphic1 && w.EXIT1 && w.unnamed1 && w.unnamed2);

    // "Exit" closes the window.
    QTest::mouseClick(w.BitBtn1, Qt::LeftButton);
    QVERIFY(!w.isVisible());
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
