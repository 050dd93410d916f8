#include "app/gui/tfcomm.h"

#include "base/decimalseparator.h"
#include "base/fonts.h"
#include "display/gui/dialpanel.h"
#include "display/gui/limitpanel.h"
#include "link/meterlinks.h"
#include "record/chartcontrol.h"
#include "record/gui/readinggridmodel.h"
#include "record/recorder.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>

namespace sorrel {

TFCOMM::TFCOMM(const AppOptions &options, Notifier &notifier, QWidget *parent)
    : QMainWindow(parent), options_(options), notifier_(notifier)
{
    setObjectName(QStringLiteral("TFCOMM"));
    session_ = std::make_unique<MeterSession>(resolveProfile(options.flags), systemDecimalSeparator(), notifier_,
                                              this);
    buildShell();
    buildMenus();
    setupDisplay();
    setupJudge();
    setupRecording();
    setupOutput();
    setupLinks();
    FormCreate();
}

TFCOMM::~TFCOMM()
{
    // FormDestroy: the table goes before the grid that shows it.
    gridModel_->detach();
}

void TFCOMM::buildShell()
{
    // Single border, not resizable, system menu and minimise box only.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFont(arialPixels(11, Bold::Yes));

    client_ = new QWidget(this);
    client_->setObjectName(QStringLiteral("client"));
    client_->setFixedSize(kClientWidth, kClientHeight);
    setCentralWidget(client_);
    layout()->setSizeConstraint(QLayout::SetFixedSize); // the window follows the fixed client area

    USB = new QPushButton(QStringLiteral("USB Connect "), client_);
    USB->setObjectName(QStringLiteral("USB"));
    USB->setCheckable(true);
    USB->setGeometry(1, 1, 109, 25);
    USB->setFont(arialPixels(13, Bold::Yes));

    BitBtn1 = new QPushButton(QStringLiteral("Exit"), client_);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setGeometry(640, 1, 73, 25);
    BitBtn1->setFont(arialPixels(14, Bold::Yes));
    connect(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
}

void TFCOMM::buildMenus()
{
    QMenuBar *bar = menuBar();
    Connect1 = bar->addMenu(QStringLiteral("Connect"));
    Connect1->setObjectName(QStringLiteral("Connect1"));
    START1 = Connect1->addAction(QStringLiteral("START"));
    START1->setObjectName(QStringLiteral("START1"));
    STOP1 = Connect1->addAction(QStringLiteral("STOP"));
    STOP1->setObjectName(QStringLiteral("STOP1"));
    START1->setCheckable(true);
    STOP1->setCheckable(true);
    STOP1->setEnabled(false);
    Connect1->menuAction()->setVisible(false);

    Graphic1 = bar->addMenu(QStringLiteral("Graphic"));
    Graphic1->setObjectName(QStringLiteral("Graphic1"));
    Graphic1->menuAction()->setVisible(false);

    Record1 = bar->addMenu(QStringLiteral("Record"));
    Record1->setObjectName(QStringLiteral("Record1"));
    New1 = Record1->addAction(QStringLiteral("New"));
    New1->setObjectName(QStringLiteral("New1"));
    Save1 = Record1->addAction(QStringLiteral("Save"));
    Save1->setObjectName(QStringLiteral("Save1"));
    Record1->addSeparator();
    auto limitEntry = [this](const char *caption) {
        QAction *a = Record1->addAction(QString::fromLatin1(caption));
        a->setCheckable(true);
        return a;
    };
    for (const char *caption : {"1000", "5000", "10000", "50000", "100000", "limitless"})
        recordLimitEntries_ << limitEntry(caption);
    recordLimitEntries_[2]->setChecked(true); // N100001

    for (const char *name : {"unnamed1", "unnamed2"}) {
        QAction *blank = bar->addAction(QString());
        blank->setObjectName(QString::fromLatin1(name));
        blank->setVisible(false);
    }
    EXIT1 = bar->addAction(QStringLiteral("Exit"));
    EXIT1->setObjectName(QStringLiteral("EXIT1"));
    EXIT1->setVisible(false);
    connect(EXIT1, &QAction::triggered, this, [this] { BtExit1Click(); });
}

void TFCOMM::FormCreate()
{
    createChartController();
    // Separator, scale numbers, previous unit and the profile live in the session.
    createReadingTable();
    setWindowTitle(session_->profile().title);
    // COMM2's handler and speed.
    links_->bindSerialHandler();
    // The session put the display class's texts through the change rule when it was
    // made; the boxes show them from now on.
    Panel4->syncLimitTexts();
    KD->setup(palette().color(QPalette::WindowText));
    KD->run(session_->state().scale.dialZero);
}

void TFCOMM::pressUsbConnect()
{
    USB->click();
}

void TFCOMM::BitBtn1Click()
{
    close();
}

void TFCOMM::BtExit1Click()
{
    close();
    QCoreApplication::quit();
}

void TFCOMM::closeEvent(QCloseEvent *event)
{
    event->accept();
}

void TFCOMM::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (centred_)
        return;
    centred_ = true;
    if (QScreen *screen = this->screen()) {
        const QRect avail = screen->availableGeometry();
        move(avail.center() - QPoint(frameGeometry().width() / 2, frameGeometry().height() / 2));
    }
}

} // namespace sorrel
