#include "display/gui/dialpanel.h"

#include <QMouseEvent>
#include <QPainter>
#include <QResizeEvent>

namespace sorrel {

DialImage::DialImage(const DialGauge &gauge, QWidget *parent) : QWidget(parent), gauge_(gauge)
{
    setObjectName(QStringLiteral("KD1"));
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void DialImage::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    if (gauge_.picture().isNull()) {
        p.fillRect(rect(), Qt::white);
        return;
    }
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(rect(), gauge_.picture());
}

MagnifierPicture::MagnifierPicture(Sign sign, QWidget *parent) : QWidget(parent), sign_(sign)
{
    setFixedSize(25, 25);
    setCursor(Qt::PointingHandCursor);
}

void MagnifierPicture::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF centre(10, 10);
    p.setPen(QPen(QColor(60, 60, 60), 2));
    p.setBrush(QColor(235, 245, 255));
    p.drawEllipse(centre, 8, 8);
    p.setPen(QPen(QColor(90, 60, 30), 4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(16, 16), QPointF(23, 23));
    p.setPen(QPen(Qt::red, 2.5, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(QPointF(6, 10), QPointF(14, 10));
    if (sign_ == Sign::Plus)
        p.drawLine(QPointF(10, 6), QPointF(10, 14));
}

void MagnifierPicture::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        Q_EMIT clicked();
}

DialPanel::DialPanel(const QString &displayClass, int spanFactor, QWidget *parent)
    : QFrame(parent), gauge_(displayClass, spanFactor)
{
    setObjectName(QStringLiteral("KD"));
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(2);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);

    KD1 = new DialImage(gauge_, this);
    KD1->setGeometry(2, 2, 315, 135);
    KdFd = new MagnifierPicture(MagnifierPicture::Sign::Plus, this);
    KdFd->setObjectName(QStringLiteral("KdFd"));
    KdFd->move(264, 5);
    KdFd->hide();
    KdSx = new MagnifierPicture(MagnifierPicture::Sign::Minus, this);
    KdSx->setObjectName(QStringLiteral("KdSx"));
    KdSx->move(288, 5);
    KdSx->hide();
    connect(KdFd, &MagnifierPicture::clicked, this, [this] { KdFdClick(); });
    connect(KdSx, &MagnifierPicture::clicked, this, [this] { KdFdClick(); });
}

void DialPanel::setup(const QColor &figureColour)
{
    figureColour_ = figureColour;
    gauge_.setFigureColour(figureColour);
    gauge_.KDsetup(KD1->size());
    KD1->update();
}

void DialPanel::run(int position)
{
    gauge_.KDrun(position);
    KD1->update();
}

void DialPanel::KdFdClick()
{
    const DialViewLayout layout = view_.click(geometry(), window()->frameGeometry().size());
    KdSx->setVisible(layout.kdSxVisible);
    KdFd->setVisible(layout.kdFdVisible);
    setGeometry(layout.kd);
    KD1->setGeometry(layout.kd1);
    if (!layout.chartVisible)
        raise();
    Q_EMIT chartShown(layout.chartVisible);
    // Redraw the face for the image it now fills, so the pointer meets its scale.
    const std::optional<int> position = gauge_.lastPosition();
    setup(figureColour_);
    if (position)
        run(*position);
}

void DialPanel::resizeEvent(QResizeEvent *event)
{
    QFrame::resizeEvent(event);
    // The first resize only places the panel as laid out; the magnifiers keep their places.
    if (!event->oldSize().isValid() || event->oldSize() == event->size())
        return;
    // KDResize
    const int left = DialView::magnifierLeft(width());
    KdFd->move(left, KdFd->y());
    KdSx->move(left, KdSx->y());
}

} // namespace sorrel
