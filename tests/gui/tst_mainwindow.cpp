#include "app/gui/tfcomm.h"
#include "display/gui/dialpanel.h"
#include "display/gui/lcdpanelwidget.h"
#include "display/lcdpanelpainter.h"
#include "display/sevensegment.h"
#include "record/gui/trendchartview.h"
#include "support/testhelpers.h"

#include <QAction>
#include <QFrame>
#include <QImageReader>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QTest>

using namespace sorrel;
using namespace sorrel::test;

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
            const QPoint middle =
                sevenSegmentPath(lcdMainGlyphCell(kMainDigits[i]), seg).boundingRect().center().toPoint() + origin;
            const QColor c(image.pixel(middle));
            const bool dark = qGray(c.rgb()) < 100;
            QVERIFY2(
                dark == bool(lit & seg),
                qPrintable(
                    QStringLiteral("digit %1 segment %2 reads %3").arg(i + 1).arg(QChar('a' + s)).arg(c.name())));
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
    QTest::newRow("shipped") << "osprey"
                             << "Sorrel Interface Program V2.00";
    QTest::newRow("fulmar") << "fulmar"
                            << "Fulmar USB Interface Program _Ver: 1.00";
    QTest::newRow("no effective flag") << "ibis"
                                       << "";
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
    auto *USB = control<QPushButton>(w, "USB");
    auto *BitBtn1 = control<QPushButton>(w, "BitBtn1");
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QCOMPARE(w.client()->size(), QSize(719, 544));
    QVERIFY(w.minimumSize() == w.maximumSize()); // not resizable
    QVERIFY(!(w.windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(w.windowFlags() & Qt::WindowMinimizeButtonHint);

    QCOMPARE(USB->text(), QStringLiteral("USB Connect "));
    QCOMPARE(USB->geometry(), QRect(1, 1, 109, 25));
    QCOMPARE(BitBtn1->text(), QStringLiteral("Exit"));
    QCOMPARE(BitBtn1->geometry(), QRect(640, 1, 73, 25));

    // Only "Record" shows in the menu bar; the others exist, hidden.
    QStringList visible;
    for (QAction *a : w.menuBar()->actions())
        if (a->isVisible())
            visible << a->text();
    QCOMPARE(visible, QStringList{QStringLiteral("Record")});
    control<QMenu>(w, "Connect1");
    control<QMenu>(w, "Graphic1");
    for (const char *hidden : {"EXIT1", "unnamed1", "unnamed2"})
        QVERIFY(!control<QAction>(w, hidden)->isVisible());

    // "Exit" closes the window.
    QTest::mouseClick(BitBtn1, Qt::LeftButton);
    QVERIFY(!w.isVisible());
}

void TestMainWindow::displayPlaces()
{
    RecordingNotifier notifier;
    std::unique_ptr<TFCOMM> w(makeWindow(notifier));
    auto *Z1 = control<QLabel>(*w, "Z1");
    auto *LcdPanel = control<QWidget>(*w, "LcdPanel");
    auto *Panel3 = control<QFrame>(*w, "Panel3");
    auto *Label11 = control<QLabel>(*w, "Label11");
    auto *Label12 = control<QLabel>(*w, "Label12");
    auto *MinText = control<QLabel>(*w, "MinText");
    auto *MaxText = control<QLabel>(*w, "MaxText");
    auto *KD = control<DialPanel>(*w, "KD");
    auto *KdFd = control<QWidget>(*w, "KdFd");
    auto *KdSx = control<QWidget>(*w, "KdSx");
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));

    QVERIFY(qobject_cast<LcdPanelWidget *>(LcdPanel));
    QCOMPARE(LcdPanel->geometry(), QRect(1, 32, 398, 217));
    QVERIFY(LcdPanel->isVisible());

    // Z1 sits on the window behind the panel, dark until a decoder lights it.
    QCOMPARE(Z1->pos(), QPoint(336, 134));
    QCOMPARE(Z1->text(), QStringLiteral("0"));
    QVERIFY(!Z1->isVisible());
    const QObjectList order = w->client()->children();
    QVERIFY(order.indexOf(Z1) < order.indexOf(LcdPanel));

    // The min/max strip exists, hidden.
    QCOMPARE(Panel3->geometry(), QRect(1, 247, 398, 26));
    QVERIFY(!Panel3->isVisible());
    QCOMPARE(Label11->text(), QStringLiteral("MIN: "));
    QCOMPARE(Label12->text(), QStringLiteral("MAX: "));
    QCOMPARE(Label11->pos(), QPoint(16, 9));
    QCOMPARE(Label12->pos(), QPoint(208, 9));
    QCOMPARE(MinText->pos(), QPoint(72, 7));
    QCOMPARE(MaxText->pos(), QPoint(264, 7));
    QCOMPARE(control<QLabel>(*w, "MinTextU")->pos(), QPoint(120, 7));
    QCOMPARE(control<QLabel>(*w, "MaxTextU")->pos(), QPoint(312, 7));
    QVERIFY(MinText->font().italic());
    QCOMPARE(MaxText->font().pixelSize(), 14);

    // The dial lies right of the client area, as laid out; its magnifiers are hidden.
    QCOMPARE(KD->geometry(), QRect(800, 32, 319, 139));
    QVERIFY(KD->x() >= TFCOMM::kClientWidth);
    QCOMPARE(control<QWidget>(*w, "KD1")->geometry(), QRect(2, 2, 315, 135));
    QCOMPARE(KdFd->geometry(), QRect(264, 5, 25, 25));
    QCOMPARE(KdSx->geometry(), QRect(288, 5, 25, 25));
    QVERIFY(!KdFd->isVisible() && !KdSx->isVisible());
    QCOMPARE(KD->palette().color(QPalette::Window), QColor(Qt::white));
}

void TestMainWindow::idleDigits_data()
{
    QTest::addColumn<QString>("profile");
    QTest::addColumn<QString>("digits");
    QTest::newRow("osprey") << "osprey"
                            << "2000";
    QTest::newRow("merlin") << "merlin"
                            << "3000";
    QTest::newRow("wren keeps the layout's 2") << "wren"
                                               << "2000";
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
    verifyDigitsShown(control<QWidget>(*w, "LcdPanel")->grab().toImage(), digits);
    // The whole window shows the same, the panel at (1, 32) of the client area.
    verifyDigitsShown(w->client()->grab().toImage(), digits, QPoint(1, 32));
}

void TestMainWindow::panelFollowsTheSession()
{
    RecordingNotifier notifier;
    std::unique_ptr<TFCOMM> w(makeWindow(notifier));
    auto *LcdPanel = control<QWidget>(*w, "LcdPanel");
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    PaintCounter counter;
    LcdPanel->installEventFilter(&counter);
    QVERIFY(control<QPushButton>(*w, "USB")->isVisible());

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
    verifyDigitsShown(LcdPanel->grab().toImage(), QStringLiteral("700@"));
    QVERIFY(!control<QPushButton>(*w, "USB")->isVisible());
    QVERIFY(control<QLabel>(*w, "Z1")->isVisibleTo(w->client()));
    QCOMPARE(control<QLabel>(*w, "Z1")->text(), QStringLiteral("5"));
    QCOMPARE(control<QLabel>(*w, "MinText")->text(), QStringLiteral("12.5"));
    QCOMPARE(control<QLabel>(*w, "MaxText")->text(), QStringLiteral("1999"));
    QCOMPARE(control<QLabel>(*w, "MinTextU")->text(), QStringLiteral("Lux"));
    QCOMPARE(control<QLabel>(*w, "MaxTextU")->text(), QStringLiteral("FC"));
    QVERIFY(!control<QFrame>(*w, "Panel3")->isVisible()); // kept current, never shown

    panel.show(Ind::USB);
    Q_EMIT w->session().panelChanged();
    QVERIFY(control<QPushButton>(*w, "USB")->isVisible());
}

void TestMainWindow::dialFollowsTheSession()
{
    RecordingNotifier notifier;
    std::unique_ptr<TFCOMM> w(makeWindow(notifier));
    DialGauge &gauge = control<DialPanel>(*w, "KD")->gauge();
    // Start-up drew the face for KD1 and put the pointer at the dial zero position.
    QCOMPARE(gauge.picture().size(), QSize(315, 135));
    QCOMPARE(gauge.lastPosition(), std::optional<int>(200));
    QCOMPARE(gauge.span(), 400);
    QCOMPARE(gauge.pointerMemory().p1(), QPoint(160, 34));

    Q_EMIT w->session().dialMoved(0);
    QCOMPARE(gauge.lastPosition(), std::optional<int>(0));
    const QPoint tip = gauge.pointerMemory().p1();
    QCOMPARE(tip.x(), 20);
    const QImage shown = control<QWidget>(*w, "KD1")->grab().toImage();
    QCOMPARE(shown.size(), QSize(315, 135));
    QVERIFY(qGray(shown.pixel(tip)) < 100);
    QCOMPARE(QColor(shown.pixel(160, 34)), QColor(Qt::white)); // the start-up pointer is gone
}

void TestMainWindow::dialEnlargeAndRestore()
{
    RecordingNotifier notifier;
    std::unique_ptr<TFCOMM> w(makeWindow(notifier));
    auto *Chtshow = control<TrendChartView>(*w, "Chtshow");
    auto *KdFd = control<QWidget>(*w, "KdFd");
    auto *KD = control<DialPanel>(*w, "KD");
    auto *KD1 = control<QWidget>(*w, "KD1");
    auto *KdSx = control<QWidget>(*w, "KdSx");
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    Q_EMIT w->session().dialMoved(300);
    QVERIFY(Chtshow->isVisible());
    KdFd->show(); // the layout hides it; a user could click it once shown

    QTest::mouseClick(KdFd, Qt::LeftButton, {}, QPoint(12, 12));
    const QSize windowSize = w->frameGeometry().size();
    QCOMPARE(KD->geometry(), QRect(2, 28, windowSize.width() - 12, windowSize.height() - 80));
    QCOMPARE(KD1->geometry(), QRect(2, 2, KD->width() - 40, KD->height() - 140));
    QVERIFY(!Chtshow->isVisible());
    QVERIFY(!KdFd->isVisible() && KdSx->isVisible());
    QCOMPARE(KdSx->x(), KD->width() - 30); // KDResize
    QCOMPARE(KdFd->x(), KD->width() - 30);
    // The face is drawn again for the larger image, the pointer where it was.
    QCOMPARE(KD->gauge().picture().size(), KD1->size());
    QCOMPARE(KD->gauge().lastPosition(), std::optional<int>(300));
    QVERIFY(qGray(KD->gauge().picture().pixel(KD->gauge().pointerMemory().p1())) < 100);

    QTest::mouseClick(KdSx, Qt::LeftButton, {}, QPoint(12, 12));
    QCOMPARE(KD->geometry(), QRect(800, 32, 319, 139));
    QCOMPARE(KD1->geometry(), QRect(2, 2, 315, 135));
    QVERIFY(Chtshow->isVisible());
    QVERIFY(KdFd->isVisible() && !KdSx->isVisible());
    QCOMPARE(KD->gauge().picture().size(), QSize(315, 135));
    QCOMPARE(KD->gauge().pointerMemory(), DialGeometry::forPanel(QSize(319, 139))->pointer(300, 400));
}

void TestMainWindow::screenshotOfTheProgram_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("profile");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("digits");
    QTest::newRow("shipped") << QStringList{} << "osprey"
                             << "Sorrel Interface Program V2.00"
                             << "2000";
    QTest::newRow("fulmar") << QStringList{"--profile", "fulmar"} << "fulmar"
                            << "Fulmar USB Interface Program _Ver: 1.00"
                            << "2000";
    QTest::newRow("merlin") << QStringList{"--profile", "merlin"} << "merlin"
                            << "Merlin Interface Program _Ver: 1.00"
                            << "3000";
}

// The real program, run as a user would with --screenshot.
void TestMainWindow::screenshotOfTheProgram()
{
    QFETCH(QStringList, args);
    QFETCH(QString, profile);
    QFETCH(QString, title);
    QFETCH(QString, digits);
    ScratchDir dir;
    QVERIFY(dir.isValid());
    const QString png = dir.file(QStringLiteral("window.png"));
    const ProgramRun program = runSorrel(args << QStringLiteral("--screenshot") << png,
                                         {"QT_QPA_PLATFORM=offscreen"});
    QVERIFY(program.finished);
    QCOMPARE(program.status, QProcess::NormalExit);
    QCOMPARE(program.exitCode, 0);

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
