#include "app/gui/tfcomm.h"

#include "display/gui/dialpanel.h"
#include "display/gui/lcdpanelwidget.h"
#include "display/lcdpanelpainter.h"

#include <QLabel>
#include <QPushButton>

namespace sorrel {

namespace {

// Fixed sizes: measuring texts would load fonts at start-up for a strip nobody sees.
QLabel *stripLabel(QWidget *parent, const char *name, const QString &text, const QRect &place, const QFont &font)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setFont(font);
    label->setGeometry(place);
    return label;
}

} // namespace

void TFCOMM::setupDisplay()
{
    // Z1 lies behind the panel: made first, so the panel covers it.
    Z1 = new QLabel(QStringLiteral("0"), client_);
    Z1->setObjectName(QStringLiteral("Z1"));
    Z1->setFont(lcdWordFont(24));
    Z1->setGeometry(336, 134, 16, 28);

    auto *panel = new LcdPanelWidget(session_->panel(), client_);
    panel->setObjectName(QStringLiteral("LcdPanel"));
    panel->move(1, 32);
    LcdPanel = panel;

    Panel3 = new QFrame(client_);
    Panel3->setObjectName(QStringLiteral("Panel3"));
    Panel3->setGeometry(1, 247, 398, 26);
    Panel3->setAutoFillBackground(true);
    QPalette silver = Panel3->palette();
    silver.setColor(QPalette::Window, QColor(192, 192, 192));
    Panel3->setPalette(silver);
    QFont valueFont(QStringLiteral("Arial"));
    valueFont.setStyleHint(QFont::SansSerif);
    valueFont.setPixelSize(14);
    valueFont.setItalic(true);
    Label11 = stripLabel(Panel3, "Label11", QStringLiteral("MIN: "), {16, 9, 56, 14}, font());
    Label12 = stripLabel(Panel3, "Label12", QStringLiteral("MAX: "), {208, 9, 56, 14}, font());
    MinText = stripLabel(Panel3, "MinText", QString(), {72, 7, 48, 17}, valueFont);
    MaxText = stripLabel(Panel3, "MaxText", QString(), {264, 7, 48, 17}, valueFont);
    MinTextU = stripLabel(Panel3, "MinTextU", QString(), {120, 7, 80, 17}, font());
    MaxTextU = stripLabel(Panel3, "MaxTextU", QString(), {312, 7, 80, 17}, font());
    Panel3->hide();

    const ReadingState &shared = session_->state();
    KD = new DialPanel(shared.displayClass, shared.scale.dialSpan, client_);
    KD->setGeometry(800, 32, 319, 139);
    KD1 = KD->KD1;
    KdFd = KD->KdFd;
    KdSx = KD->KdSx;
    KD1->setGeometry(2, 2, 315, 135);
    connect(KD->KdFd, &MagnifierPicture::clicked, this, [this] { KdFdClick(); });
    connect(KD->KdSx, &MagnifierPicture::clicked, this, [this] { KdFdClick(); });
    connect(KD, &DialPanel::resized, this, [this] { KDResize(); });

    connect(session_.get(), &MeterSession::dialMoved, this, [this](int position) { KDrun(position); });
    connect(session_.get(), &MeterSession::panelChanged, this, [this] { showPanelState(); });
    showPanelState();
}

void TFCOMM::showPanelState()
{
    const LcdPanelState &panel = session_->panel();
    LcdPanel->update();
    // The decoders hide the bridge button with the common reset set.
    USB->setVisible(panel.isShown(Ind::USB));
    Z1->setText(panel.text(Ind::Z1));
    Z1->setVisible(panel.isShown(Ind::Z1));
    const struct { QLabel *label; Ind id; } strip[] = {
        {MinText, Ind::MinText}, {MaxText, Ind::MaxText}, {MinTextU, Ind::MinTextU}, {MaxTextU, Ind::MaxTextU},
    };
    for (const auto &s : strip)
        s.label->setText(panel.text(s.id));
}

void TFCOMM::KDsetup(int)
{
    KD->gauge().setFigureColour(palette().color(QPalette::WindowText));
    KD->gauge().KDsetup(KD1->size());
    KD1->update();
}

void TFCOMM::KDrun(int position)
{
    KD->gauge().KDrun(position);
    KD1->update();
}

void TFCOMM::KdFdClick()
{
    const DialViewLayout layout = KD->view().click(KD->geometry(), frameGeometry().size());
    KdSx->setVisible(layout.kdSxVisible);
    KdFd->setVisible(layout.kdFdVisible);
    KD->setGeometry(layout.kd);
    KD1->setGeometry(layout.kd1);
    if (!layout.chartVisible)
        KD->raise();
    if (Chtshow)
        Chtshow->setVisible(layout.chartVisible);
    // Redraw the face for the image it now fills, so the pointer meets its scale.
    const std::optional<int> position = KD->gauge().lastPosition();
    KDsetup(1);
    if (position)
        KDrun(*position);
}

void TFCOMM::KDResize()
{
    const int left = DialView::magnifierLeft(KD->width());
    KdFd->move(left, KdFd->y());
    KdSx->move(left, KdSx->y());
}

} // namespace sorrel
