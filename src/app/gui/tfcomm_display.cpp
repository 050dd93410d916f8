#include "app/gui/tfcomm.h"

#include "display/gui/dialpanel.h"
#include "display/gui/lcdpanelwidget.h"
#include "display/gui/minmaxstrip.h"
#include "display/lcdpanelpainter.h"
#include "record/gui/trendchartview.h"

#include <QLabel>
#include <QPushButton>

namespace sorrel {

void TFCOMM::setupDisplay()
{
    // Z1 lies behind the panel: made first, so the panel covers it.
    Z1 = new QLabel(QStringLiteral("0"), client_);
    Z1->setObjectName(QStringLiteral("Z1"));
    Z1->setFont(lcdWordFont(24));
    Z1->setGeometry(336, 134, 16, 28);

    LcdPanel = new LcdPanelWidget(session_->panel(), client_);
    LcdPanel->setObjectName(QStringLiteral("LcdPanel"));
    LcdPanel->move(1, 32);

    Panel3 = new MinMaxStrip(font(), client_);

    const ReadingState &shared = session_->state();
    KD = new DialPanel(shared.displayClass, shared.scale.dialSpan, client_);
    KD->setGeometry(800, 32, 319, 139);
    // The chart is made after the dial; it is there by the time a magnifier is clicked.
    connect(KD, &DialPanel::chartShown, this, [this](bool shown) { Chtshow->setVisible(shown); });

    connect(session_.get(), &MeterSession::dialMoved, KD, &DialPanel::run);
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
    Panel3->showState(panel);
}

} // namespace sorrel
