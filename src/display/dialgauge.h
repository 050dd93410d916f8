#pragma once
// The dial gauge: an arc scale with figures and tick dots and a straight pointer,
// drawn into a picture; plus the switch between the normal and the enlarged view.

#include <QColor>
#include <QFont>
#include <QImage>
#include <QLine>
#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <optional>

namespace sorrel {

// Geometry of the arc for a dial panel of a given size. Named values are held in single
// precision and points rounded half to even, so pixels land where the meter's own
// drawing put them.
struct DialGeometry {
    float W = 0;      // chord: panel width - 40
    float H = 0;      // rise: panel height - 60
    float R = 0;      // radius of the arc through both ends and the top
    float theta = 0;  // degrees spanned by the arc
    float alpha0 = 0; // degrees of the left end

    // nullopt when the panel is too small to hold an arc.
    static std::optional<DialGeometry> forPanel(QSize panel);

    float phi(double step, int steps) const; // radians; step 0 is the left end
    QPoint pointAt(float radius, double step, int steps) const;
    // The pointer for a position on a scale of `steps`: tip just inside the arc, base on
    // the line 280 px below the ends (beyond the centre, off the picture).
    QLine pointer(double position, int steps) const;
};

// The arc never spans more than this, so a tall panel (the enlarged view) keeps a dial
// shape and no position on the scale lays the pointer flat.
inline constexpr float kDialMaxArcDegrees = 120.0f;

struct DialFigure {
    int slot; // 0..8, left to right
    int step;
    QString text;
    QPoint offset; // the text's top-left is the anchor moved left and up by this
};

// The figures of a display class's face ("4", "2", "6", "34"); empty for other classes.
QList<DialFigure> dialFigures(const QString &displayClass);
// The steps (0..spanFactor) carrying a tick dot, and their colour.
QList<int> dialTickSteps(const QString &displayClass, int spanFactor);
QColor dialTickColour(const QString &displayClass);

class DialGauge {
public:
    DialGauge(QString displayClass, int spanFactor);

    const QString &displayClass() const { return displayClass_; }
    int spanFactor() const { return spanFactor_; }
    int span() const { return 10 * spanFactor_; }

    // The figures are written in the window-text colour.
    void setFigureColour(const QColor &colour) { figureColour_ = colour; }

    // Draws the face into a fresh picture of pictureSize, with the geometry of a panel
    // 4 px larger each way (the picture fills the panel inside its bevel). The pointer
    // memory is cleared: there is no old pointer on a fresh face.
    // The pixels are put down when the picture is first asked for (the panel starts
    // outside the window, so nobody sees the face at start-up); the picture is the
    // same as if they had been drawn here.
    void KDsetup(QSize pictureSize);
    // Erases the remembered pointer in the face colour and draws the one for position,
    // clamped to 0 .. span() so the pointer never lies flat.
    void KDrun(int position);

    int clampPosition(int position) const;
    const QImage &picture() const;
    const std::optional<DialGeometry> &geometry() const { return geometry_; }
    QLine pointerMemory() const { return pointer_; }
    std::optional<int> lastPosition() const { return lastPosition_; }

    static QSize panelSizeFor(QSize pictureSize) { return pictureSize + QSize(4, 4); }

private:
    void drawOwedFace() const;
    void drawPointer(const QLine &erase, const QLine &next) const;

    QString displayClass_;
    int spanFactor_;
    QColor figureColour_ = Qt::black;
    QFont figureFont_;
    mutable QImage picture_;
    std::optional<DialGeometry> geometry_;
    QLine pointer_; // tip, base of the pointer last drawn; (0,0)-(0,0) at start
    std::optional<int> lastPosition_;
    // Set by KDsetup until the face is drawn: its size and figure colour, and whether
    // the first pointer on it (pointer_) is still to be drawn too.
    mutable bool faceOwed_ = false;
    mutable bool pointerOwed_ = false;
    QSize owedSize_;
    QColor owedFigureColour_;
};

// What the magnifier click leaves: bounds of the panel and its image, which
// magnifier shows, and whether the trend chart shows.
struct DialViewLayout {
    QRect kd;
    QRect kd1;
    bool kdFdVisible = false;
    bool kdSxVisible = false;
    bool chartVisible = true;
};

class DialView {
public:
    static constexpr int kEnlargedMinWidth = 470;

    static bool isEnlarged(const QRect &kdBounds) { return kdBounds.width() >= kEnlargedMinWidth; }
    // KdFdClick: enlarge to nearly the whole window, or give back the saved bounds.
    DialViewLayout click(const QRect &kdBounds, QSize windowSize);
    // KDResize: both magnifiers keep to the panel's right edge.
    static int magnifierLeft(int kdWidth) { return kdWidth - 30; }
    const QRect &savedBounds() const { return saved_; }

private:
    QRect saved_;
};

} // namespace sorrel
