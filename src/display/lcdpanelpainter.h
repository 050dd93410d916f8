#pragma once
// Paints the visible band of the LCD panel from its state: where each indicator sits,
// how big it is, and its artwork. Parked indicators are never painted.

#include "base/lcdpanelstate.h"

#include <QColor>
#include <QFont>
#include <QRect>
#include <QSize>

class QPainter;

namespace sorrel {

inline constexpr QSize kLcdPanelSize{398, 217};
inline const QColor kLcdCream{255, 251, 240};

struct LcdPanelColours {
    QColor background = kLcdCream;
    QColor ink = Qt::black;        // digits, points, most words and pictures
    QColor windowText = Qt::black; // REL, the range figure and Auto
    QColor bevelLight = Qt::white;
    QColor bevelShadow{128, 128, 128};
    QColor barTrough{240, 240, 240};
    QColor barChunk{0, 0, 128};
};

// Where an indicator of the visible band sits in the panel (left, top, width, height);
// an empty rect for parked indicators and for those that live elsewhere.
QRect lcdIndicatorRect(Ind id);
// The cell inside a main digit's box that the seven segments fill.
QRect lcdMainGlyphCell(Ind digit);
// The part of PBar2 a position fills (clamped to the bar's range).
QRect lcdBarChunk(int position);

// Bold condensed face for the words (MAX, USB, LOAD NO ...).
QFont lcdWordFont(int pixelSize);

void paintLcdPanel(QPainter &p, const LcdPanelState &state, const LcdPanelColours &colours = {});

} // namespace sorrel
