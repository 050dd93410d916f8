#include "app/gui/sorrelstyle.h"

#include <QIconEngine>
#include <QPainter>

namespace sorrel {

namespace {

// A double chevron pointing along the bar (right) or down it.
class ExtensionArrowEngine : public QIconEngine {
public:
    explicit ExtensionArrowEngine(bool horizontal) : horizontal_(horizontal) {}
    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State) override
    {
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(QPen(mode == QIcon::Disabled ? QColor(150, 150, 150) : QColor(40, 40, 40), 1.5));
        const qreal s = std::min(rect.width(), rect.height()) / 16.0;
        painter->translate(rect.center() - QPointF(8 * s, 8 * s));
        painter->scale(s, s);
        if (!horizontal_)
            painter->translate(16, 0), painter->rotate(90);
        for (qreal x : {4.0, 8.5})
            painter->drawPolyline(QPolygonF({{x, 4}, {x + 3.5, 8}, {x, 12}}));
        painter->restore();
    }
    QIconEngine *clone() const override { return new ExtensionArrowEngine(horizontal_); }

private:
    bool horizontal_;
};

} // namespace

QIcon SorrelStyle::standardIcon(StandardPixmap pixmap, const QStyleOption *option, const QWidget *widget) const
{
    if (pixmap == SP_ToolBarHorizontalExtensionButton)
        return QIcon(new ExtensionArrowEngine(true));
    if (pixmap == SP_ToolBarVerticalExtensionButton)
        return QIcon(new ExtensionArrowEngine(false));
    return QProxyStyle::standardIcon(pixmap, option, widget);
}

} // namespace sorrel
