#include "base/fonts.h"

namespace sorrel {

namespace {

QFont arial(Bold bold)
{
    QFont f(QStringLiteral("Arial"));
    f.setStyleHint(QFont::SansSerif);
    if (bold != Bold::Inherit)
        f.setBold(bold == Bold::Yes);
    return f;
}

} // namespace

QFont arialPixels(int pixels, Bold bold)
{
    QFont f = arial(bold);
    f.setPixelSize(pixels);
    return f;
}

QFont arialPoints(qreal points, Bold bold)
{
    QFont f = arial(bold);
    f.setPointSizeF(points);
    return f;
}

} // namespace sorrel
