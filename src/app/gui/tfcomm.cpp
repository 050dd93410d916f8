#include "app/gui/tfcomm.h"

#include "base/decimalseparator.h"

#include <QCloseEvent>
#include <QFrame>
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
    session_ = std::make_unique<MeterSession>(resolveProfile(options.flags),
                                              systemDecimalSeparator(), notifier_, this);
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
    FormDestroy();
}

void TFCOMM::buildShell()
{
    // Single border, not resizable, system menu and minimise box only.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                   | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                   | Qt::WindowCloseButtonHint);
    QFont font(QStringLiteral("Arial"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(11);
    font.setBold(true);
    setFont(font);

    client_ = new QWidget(this);
    client_->setObjectName(QStringLiteral("client"));
    client_->setFixedSize(kClientWidth, kClientHeight);
    setCentralWidget(client_);
    layout()->setSizeConstraint(QLayout::SetFixedSize); // the window follows the fixed client area

    USB = new QPushButton(QStringLiteral("USB Connect "), client_);
    USB->setObjectName(QStringLiteral("USB"));
    USB->setCheckable(true);
    USB->setGeometry(1, 1, 109, 25);
    QFont usbFont(QStringLiteral("Arial"));
    usbFont.setStyleHint(QFont::SansSerif);
    usbFont.setPixelSize(13);
    usbFont.setBold(true);
    USB->setFont(usbFont);

    BitBtn1 = new QPushButton(QStringLiteral("Exit"), client_);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setGeometry(640, 1, 73, 25);
    QFont exitFont(QStringLiteral("Arial"));
    exitFont.setStyleHint(QFont::SansSerif);
    exitFont.setPixelSize(14);
    exitFont.setBold(true);
    BitBtn1->setFont(exitFont);
    connect(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
}

void TFCOMM::buildMenus()
{
    QMenuBar *bar = menuBar();
    Connect1 = bar->addMenu(QStringLiteral("Connect"));
    Connect1->setObjectName(QStringLiteral("Connect1"));
    START1 = Connect1->addAction(QStringLiteral("START"));
    STOP1 = Connect1->addAction(QStringLiteral("STOP"));
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
    Save1 = Record1->addAction(QStringLiteral("Save"));
    Record1->addSeparator();
    auto limitEntry = [this](const char *caption) {
        QAction *a = Record1->addAction(QString::fromLatin1(caption));
        a->setCheckable(true);
        return a;
    };
    N10001 = limitEntry("1000");
    N50001 = limitEntry("5000");
    N100001 = limitEntry("10000");
    N500001 = limitEntry("50000");
    N1000001 = limitEntry("100000");
    limitess = limitEntry("limitless");
    N100001->setChecked(true);

    unnamed1 = bar->addAction(QString());
    unnamed1->setVisible(false);
    unnamed2 = bar->addAction(QString());
    unnamed2->setVisible(false);
    EXIT1 = bar->addAction(QStringLiteral("Exit"));
    EXIT1->setVisible(false);
    connect(EXIT1, &QAction::triggered, this, [this] { BtExit1Click(); });
}

QWidget *TFCOMM::placeholder(int x, int y, int w, int h, const QString &name)
{
    auto *frame = new QFrame(client_);
    frame->setObjectName(name);
    frame->setFrameShape(QFrame::StyledPanel);
    frame->setGeometry(x, y, w, h);
    return frame;
}

void TFCOMM::FormCreate()
{
    createChartController();
    // Separator, scale numbers, previous unit and the profile live in the session.
    createReadingTable();
    setWindowTitle(session_->profile().title);
    bindSerialHandler();
    applyLimitTexts();
    KDsetup(1);
    KDrun(session_->state().scale.dialZero);
}

void TFCOMM::FormDestroy()
{
    destroyChartController();
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
