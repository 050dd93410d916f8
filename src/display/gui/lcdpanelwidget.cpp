#include "display/gui/lcdpanelwidget.h"

#include "display/lcdpanelpainter.h"

#include <QPainter>

namespace sorrel {

LcdPanelWidget::LcdPanelWidget(const LcdPanelState &state, QWidget *parent) : QWidget(parent), state_(state)
{
    setFixedSize(kLcdPanelSize);
    // Every pixel is painted; nothing behind needs drawing first.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

QSize LcdPanelWidget::sizeHint() const
{
    return kLcdPanelSize;
}

void LcdPanelWidget::paintEvent(QPaintEvent *)
{
    LcdPanelColours colours;
    colours.windowText = palette().color(QPalette::WindowText);
    colours.bevelLight = palette().color(QPalette::Light);
    colours.bevelShadow = palette().color(QPalette::Dark);
    colours.barTrough = palette().color(QPalette::Button);
    colours.barChunk = palette().color(QPalette::Highlight);
    QPainter p(this);
    paintLcdPanel(p, state_, colours);
}

} // namespace sorrel
