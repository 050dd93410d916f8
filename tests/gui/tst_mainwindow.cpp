#include "app/gui/tfcomm.h"
#include "display/gui/dialpanel.h"
#include "display/gui/lcdpanelwidget.h"
#include "display/lcdpanelpainter.h"
#include "display/sevensegment.h"

#include <QImageReader>
#include <QLabel>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace sorrel;

namespace {

TFCOMM *makeWindow(RecordingNotifier &notifier, const QString &profile = QStringLiteral("osprey"))
{
    AppOptions options;
    options.flags = *parseModelFlags(profile);
    return new TFCOMM(options, notifier);
}

const Ind kMainDigits[] = {Ind::LcdDa, Ind::LcdDb, Ind::LcdDc, Ind::LcdDd};

// Checks that image (the panel, or a window picture with the panel at origin) shows
// exactly the segments of the four glyphs: ink at the middle of each lit segment,
// cream at the middle of each dark one.
void verifyDigitsShown(const QImage &image, const QString &digits, QPoint origin = {})
{
    for (int i = 0; i < 4; ++i) {
        const SegmentMask lit = *glyphSegments(QString(digits[i]));
        for (int s = 0; s < kSegmentCount; ++s) {
            const SegmentMask seg = SegmentMask(1u << s);
            const QPoint middle = sevenSegmentPath(lcdMainGlyphCell(kMainDigits[i]), seg)
                                      .boundingRect().center().toPoint() + origin;
            const QColor c(image.pixel(middle));
            const bool dark = qGray(c.rgb()) < 100;
            QVERIFY2(dark == bool(lit & seg), qPrintable(QStringLiteral("digit %1 segment %2 reads %3")
                         .arg(i + 1).arg(QChar('a' + s)).arg(c.name())));
            if (!dark)
                QCOMPARE(c, kLcdCream);
        }
    }
}

class PaintCounter : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject *, QEvent *e) override
    {
        paints += e->type() == QEvent::Paint;
        return false;
    }
};

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void titleByProfile_data();
    void titleByProfile();
    void shell();
    void displayPlaces();
    void idleDigits_data();
    void idleDigits();
    void panelFollowsTheSession();
    void dialFollowsTheSession();
    void dialEnlargeAndRestore();
    void screenshotOfTheProgram_data();
    void screenshotOfTheProgram();
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

void TestMainWindow::displayPlaces()
{
    RecordingNotifier notifier;
    std::unique_ptr<TFCOMM> w(makeWindow(notifier));
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));

    QVERIFY(qobject_cast<LcdPanelWidget *>(w->LcdPanel));
    QCOMPARE(w->LcdPanel->geometry(), QRect(1, 32, 398, 217));
    QVERIFY(w->LcdPanel->isVisible());

    // Z1 sits on the window behind the panel, dark until a decoder lights it.
    QCOMPARE(w->Z1->pos(), QPoint(336, 134));
    QCOMPARE(w->Z1->text(), QStringLiteral("0"));
    QVERIFY(!w->Z1->isVisible());
    const QObjectList order = w->client()->children();
    QVERIFY(order.indexOf(w->Z1) < order.indexOf(w->LcdPanel));

    // The min/max strip exists, hidden.
    QCOMPARE(w->Panel3->geometry(), QRect(1, 247, 398, 26));
    QVERIFY(!w->Panel3->isVisible());
    QCOMPARE(w->Label11->text(), QStringLiteral("MIN: "));
    QCOMPARE(w->Label12->text(), QStringLiteral("MAX: "));
    QCOMPARE(w->Label11->pos(), QPoint(16, 9));
    QCOMPARE(w->Label12->pos(), QPoint(208, 9));
    QCOMPARE(w->MinText->pos(), QPoint(72, 7));
    QCOMPARE(w->MaxText->pos(), QPoint(264, 7));
    QCOMPARE(w->MinTextU->pos(), QPoint(120, 7));
    QCOMPARE(w->MaxTextU->pos(), QPoint(312, 7));
    QVERIFY(w->MinText->font().italic());
    QCOMPARE(w->MaxText->font().pixelSize(), 14);

    // The dial lies right of the client area, as laid out; its magnifiers are hidden.
    QCOMPARE(w->KD->geometry(), QRect(800, 32, 319, 139));
    QVERIFY(w->KD->x() >= TFCOMM::kClientWidth);
    QCOMPARE(w->KD1->geometry(), QRect(2, 2, 315, 135));
    QCOMPARE(w->KdFd->geometry(), QRect(264, 5, 25, 25));
    QCOMPARE(w->KdSx->geometry(), QRect(288, 5, 25, 25));
    QVERIFY(!w->KdFd->isVisible() && !w->KdSx->isVisible());
    QCOMPARE(w->KD->palette().color(QPalette::Window), QColor(Qt::white));
}

void TestMainWindow::idleDigits_data()
{
    QTest::addColumn<QString>("profile");
    QTest::addColumn<QString>("digits");
    QTest::newRow("osprey") << "osprey" << "2000";
    QTest::newRow("merlin") << "merlin" << "3000";
    QTest::newRow("wren keeps the layout's 2") << "wren" << "2000";
}

void TestMainWindow::idleDigits()
{
    QFETCH(QString, profile);
    QFETCH(QString, digits);
    RecordingNotifier notifier;
    std::unique_ptr<TFCOMM> w(makeWindow(notifier, profile));
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    const LcdPanelState &panel = w->session().panel();
    QCOMPARE(panel.text(Ind::LcdDa) + panel.text(Ind::LcdDb) + panel.text(Ind::LcdDc) + panel.text(Ind::LcdDd),
             digits);
    verifyDigitsShown(w->LcdPanel->grab().toImage(), digits);
    // The whole window shows the same, the panel at (1, 32) of the client area.
    verifyDigitsShown(w->client()->grab().toImage(), digits, QPoint(1, 32));
}

void TestMainWindow::panelFollowsTheSession()
{
    RecordingNotifier notifier;
    std::unique_ptr<TFCOMM> w(makeWindow(notifier));
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    PaintCounter counter;
    w->LcdPanel->installEventFilter(&counter);
    QVERIFY(w->USB->isVisible());

    LcdPanelState &panel = w->session().panel();
    panel.setText(Ind::LcdDa, QStringLiteral("7"));
    panel.setText(Ind::LcdDd, QStringLiteral("@"));
    panel.hideCommonResetSet(); // hides the bridge button among others
    panel.show(Ind::Z1);
    panel.setText(Ind::Z1, QStringLiteral("5"));
    panel.setText(Ind::MinText, QStringLiteral("12.5"));
    panel.setText(Ind::MaxText, QStringLiteral("1999"));
    panel.setText(Ind::MinTextU, QStringLiteral("Lux"));
    panel.setText(Ind::MaxTextU, QStringLiteral("FC"));
    const int paintsBefore = counter.paints;
    Q_EMIT w->session().panelChanged();

    QTRY_VERIFY(counter.paints > paintsBefore); // a repaint was asked for
    verifyDigitsShown(w->LcdPanel->grab().toImage(), QStringLiteral("700@"));
    QVERIFY(!w->USB->isVisible());
    QVERIFY(w->Z1->isVisibleTo(w->client()));
    QCOMPARE(w->Z1->text(), QStringLiteral("5"));
    QCOMPARE(w->MinText->text(), QStringLiteral("12.5"));
    QCOMPARE(w->MaxText->text(), QStringLiteral("1999"));
    QCOMPARE(w->MinTextU->text(), QStringLiteral("Lux"));
    QCOMPARE(w->MaxTextU->text(), QStringLiteral("FC"));
    QVERIFY(!w->Panel3->isVisible()); // kept current, never shown

    panel.show(Ind::USB);
    Q_EMIT w->session().panelChanged();
    QVERIFY(w->USB->isVisible());
}

void TestMainWindow::dialFollowsTheSession()
{
    RecordingNotifier notifier;
    std::unique_ptr<TFCOMM> w(makeWindow(notifier));
    DialGauge &gauge = w->KD->gauge();
    // Start-up drew the face for KD1 and put the pointer at the dial zero position.
    QCOMPARE(gauge.picture().size(), QSize(315, 135));
    QCOMPARE(gauge.lastPosition(), std::optional<int>(200));
    QCOMPARE(gauge.span(), 400);
    QCOMPARE(gauge.pointerMemory().p1(), QPoint(160, 34));

    Q_EMIT w->session().dialMoved(0);
    QCOMPARE(gauge.lastPosition(), std::optional<int>(0));
    const QPoint tip = gauge.pointerMemory().p1();
    QCOMPARE(tip.x(), 20);
    const QImage shown = w->KD1->grab().toImage();
    QCOMPARE(shown.size(), QSize(315, 135));
    QVERIFY(qGray(shown.pixel(tip)) < 100);
    QCOMPARE(QColor(shown.pixel(160, 34)), QColor(Qt::white)); // the start-up pointer is gone
}

void TestMainWindow::dialEnlargeAndRestore()
{
    RecordingNotifier notifier;
    std::unique_ptr<TFCOMM> w(makeWindow(notifier));
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    Q_EMIT w->session().dialMoved(300);
    QVERIFY(w->Chtshow->isVisible());
    w->KdFd->show(); // the layout hides it; a user could click it once shown

    QTest::mouseClick(w->KdFd, Qt::LeftButton, {}, QPoint(12, 12));
    const QSize windowSize = w->frameGeometry().size();
    QCOMPARE(w->KD->geometry(), QRect(2, 28, windowSize.width() - 12, windowSize.height() - 80));
    QCOMPARE(w->KD1->geometry(), QRect(2, 2, w->KD->width() - 40, w->KD->height() - 140));
    QVERIFY(!w->Chtshow->isVisible());
    QVERIFY(!w->KdFd->isVisible() && w->KdSx->isVisible());
    QCOMPARE(w->KdSx->x(), w->KD->width() - 30); // KDResize
    QCOMPARE(w->KdFd->x(), w->KD->width() - 30);
    // The face is drawn again for the larger image, the pointer where it was.
    QCOMPARE(w->KD->gauge().picture().size(), w->KD1->size());
    QCOMPARE(w->KD->gauge().lastPosition(), std::optional<int>(300));
    QVERIFY(qGray(w->KD->gauge().picture().pixel(w->KD->gauge().pointerMemory().p1())) < 100);

    QTest::mouseClick(w->KdSx, Qt::LeftButton, {}, QPoint(12, 12));
    QCOMPARE(w->KD->geometry(), QRect(800, 32, 319, 139));
    QCOMPARE(w->KD1->geometry(), QRect(2, 2, 315, 135));
    QVERIFY(w->Chtshow->isVisible());
    QVERIFY(w->KdFd->isVisible() && !w->KdSx->isVisible());
    QCOMPARE(w->KD->gauge().picture().size(), QSize(315, 135));
    QCOMPARE(w->KD->gauge().pointerMemory(), DialGeometry::forPanel(QSize(319, 139))->pointer(300, 400));
}

void TestMainWindow::screenshotOfTheProgram_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("profile");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("digits");
    QTest::newRow("shipped") << QStringList{} << "osprey" << "Sorrel Interface Program V2.00" << "2000";
    QTest::newRow("fulmar") << QStringList{"--profile", "fulmar"} << "fulmar"
                            << "Fulmar USB Interface Program _Ver: 1.00" << "2000";
    QTest::newRow("merlin") << QStringList{"--profile", "merlin"} << "merlin"
                            << "Merlin Interface Program _Ver: 1.00" << "3000";
}

// The real program, run as a user would with --screenshot.
void TestMainWindow::screenshotOfTheProgram()
{
    QFETCH(QStringList, args);
    QFETCH(QString, profile);
    QFETCH(QString, title);
    QFETCH(QString, digits);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString png = dir.filePath(QStringLiteral("window.png"));
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(SORREL_BINARY_DIR "/sorrel"), args << QStringLiteral("--screenshot") << png);
    QVERIFY(program.waitForFinished(60000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);

    QImageReader reader(png);
    QCOMPARE(reader.format(), QByteArray("png"));
    const QImage image = reader.read();
    QCOMPARE(image.width(), 719);
    const int menuHeight = image.height() - TFCOMM::kClientHeight;
    QVERIFY2(menuHeight > 0 && menuHeight < 60, qPrintable(QString::number(image.height())));
    // The grab has no title bar; the program writes its window's title into the picture.
    QCOMPARE(image.text(QStringLiteral("Title")), title);
    RecordingNotifier notifier;
    std::unique_ptr<TFCOMM> w(makeWindow(notifier, profile));
    QCOMPARE(w->windowTitle(), title);

    verifyDigitsShown(image, digits, QPoint(1, 32 + menuHeight));
    QCOMPARE(QColor(image.pixel(1 + 200, menuHeight + 32 + 185)), kLcdCream);
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
