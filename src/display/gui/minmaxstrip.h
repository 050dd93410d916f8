#pragma once
// Panel3: the minimum and maximum strip under the LCD panel. It is kept current from
// the panel state but hidden for good.

#include "base/lcdpanelstate.h"

#include <QFrame>

class QLabel;

namespace sorrel {

class MinMaxStrip : public QFrame {
    Q_OBJECT
public:
    MinMaxStrip(const QFont &windowFont, QWidget *parent);
    void showState(const LcdPanelState &panel);

private:
    QLabel *MinText = nullptr, *MaxText = nullptr, *MinTextU = nullptr, *MaxTextU = nullptr;
};

} // namespace sorrel
