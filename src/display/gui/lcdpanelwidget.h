#pragma once
// The LCD panel on the main window: paints the visible band of the panel state.

#include "base/lcdpanelstate.h"

#include <QWidget>

namespace sorrel {

class LcdPanelWidget : public QWidget {
    Q_OBJECT
public:
    explicit LcdPanelWidget(const LcdPanelState &state, QWidget *parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    const LcdPanelState &state_;
};

} // namespace sorrel
