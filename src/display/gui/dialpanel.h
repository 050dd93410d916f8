#pragma once
// The dial gauge's panel KD: the picture KD1 and the two magnifiers.

#include "display/dialgauge.h"

#include <QFrame>

namespace sorrel {

// KD1: shows the gauge's picture stretched to its own size.
class DialImage : public QWidget {
    Q_OBJECT
public:
    DialImage(const DialGauge &gauge, QWidget *parent);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    const DialGauge &gauge_;
};

// KdFd / KdSx: a magnifier with a red plus (enlarge) or minus (restore).
class MagnifierPicture : public QWidget {
    Q_OBJECT
public:
    enum class Sign { Plus, Minus };
    MagnifierPicture(Sign sign, QWidget *parent);
Q_SIGNALS:
    void clicked();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    Sign sign_;
};

class DialPanel : public QFrame {
    Q_OBJECT
public:
    DialPanel(const QString &displayClass, int spanFactor, QWidget *parent);

    DialGauge &gauge() { return gauge_; }
    DialView &view() { return view_; }

    // KDsetup: the face for the image's size, its figures in the given colour.
    void setup(const QColor &figureColour);
    // KDrun: the pointer at a position.
    void run(int position);

Q_SIGNALS:
    // A magnifier click decided whether the trend chart shows beside the dial.
    void chartShown(bool shown);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void KdFdClick();

    DialGauge gauge_;
    DialView view_;
    QColor figureColour_;
    DialImage *KD1 = nullptr;
    MagnifierPicture *KdFd = nullptr;
    MagnifierPicture *KdSx = nullptr;
};

} // namespace sorrel
