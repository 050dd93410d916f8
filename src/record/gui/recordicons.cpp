#include "record/gui/recordicons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace sorrel {

namespace {

void page(QPainter &p, const QColor &fill)
{
    QPainterPath path;
    path.moveTo(3, 1);
    path.lineTo(10, 1);
    path.lineTo(13, 4);
    path.lineTo(13, 14);
    path.lineTo(3, 14);
    path.closeSubpath();
    p.setPen(QPen(QColor(60, 60, 60), 1));
    p.setBrush(fill);
    p.drawPath(path);
    p.drawLine(10, 1, 10, 4);
    p.drawLine(10, 4, 13, 4);
}

void floppy(QPainter &p, const QColor &body)
{
    p.setPen(QPen(QColor(30, 30, 60), 1));
    p.setBrush(body);
    p.drawRect(2, 2, 11, 11);
    p.setBrush(Qt::white);
    p.drawRect(4, 2, 7, 4);
    p.setBrush(QColor(200, 200, 200));
    p.drawRect(5, 9, 5, 4);
}

void triangle(QPainter &p, bool right, int x)
{
    QPolygon tri;
    if (right)
        tri << QPoint(x, 3) << QPoint(x + 6, 8) << QPoint(x, 13);
    else
        tri << QPoint(x + 6, 3) << QPoint(x, 8) << QPoint(x + 6, 13);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 160));
    p.drawPolygon(tri);
}

void magnifier(QPainter &p, bool plus)
{
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(40, 40, 40), 2));
    p.setBrush(QColor(220, 240, 255));
    p.drawEllipse(QRectF(2, 2, 9, 9));
    p.setPen(QPen(QColor(120, 70, 20), 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(10.5, 10.5), QPointF(14, 14));
    p.setPen(QPen(QColor(0, 0, 160), 1.5));
    p.drawLine(QPointF(4.5, 6.5), QPointF(8.5, 6.5));
    if (plus)
        p.drawLine(QPointF(6.5, 4.5), QPointF(6.5, 8.5));
}

} // namespace

QIcon recordIcon(RecordIcon kind)
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    switch (kind) {
    case RecordIcon::New:
    case RecordIcon::ChartNew:
        page(p, Qt::white);
        break;
    case RecordIcon::Open: {
        p.setPen(QPen(QColor(120, 90, 0), 1));
        p.setBrush(QColor(240, 200, 80));
        p.drawRect(1, 4, 13, 9);
        p.drawRect(1, 2, 5, 2);
        p.setBrush(QColor(255, 230, 130));
        QPolygon flap;
        flap << QPoint(3, 7) << QPoint(15, 7) << QPoint(13, 13) << QPoint(1, 13);
        p.drawPolygon(flap);
        break;
    }
    case RecordIcon::Save:
        floppy(p, QColor(40, 80, 170));
        break;
    case RecordIcon::ChartSave:
        floppy(p, QColor(20, 130, 60));
        break;
    case RecordIcon::Print:
        p.setPen(QPen(QColor(50, 50, 50), 1));
        p.setBrush(Qt::white);
        p.drawRect(4, 1, 7, 5);
        p.setBrush(QColor(170, 170, 170));
        p.drawRect(1, 6, 13, 6);
        p.setBrush(Qt::white);
        p.drawRect(4, 10, 7, 4);
        break;
    case RecordIcon::First:
        p.fillRect(3, 3, 2, 11, QColor(0, 0, 160));
        triangle(p, false, 6);
        break;
    case RecordIcon::Previous:
        triangle(p, false, 5);
        break;
    case RecordIcon::Next:
        triangle(p, true, 5);
        break;
    case RecordIcon::Last:
        triangle(p, true, 4);
        p.fillRect(11, 3, 2, 11, QColor(0, 0, 160));
        break;
    case RecordIcon::Enlarge:
        magnifier(p, true);
        break;
    case RecordIcon::Restore:
        magnifier(p, false);
        break;
    }
    p.end();
    return QIcon(pm);
}

} // namespace sorrel
