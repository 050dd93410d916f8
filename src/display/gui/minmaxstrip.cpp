#include "display/gui/minmaxstrip.h"

#include "base/fonts.h"

#include <QLabel>

namespace sorrel {

namespace {

// Fixed sizes: measuring texts would load fonts at start-up for a strip nobody sees.
QLabel *stripLabel(QWidget *parent, const char *name, const QString &text, const QRect &place, const QFont &font)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setFont(font);
    label->setGeometry(place);
    return label;
}

} // namespace

MinMaxStrip::MinMaxStrip(const QFont &windowFont, QWidget *parent) : QFrame(parent)
{
    setObjectName(QStringLiteral("Panel3"));
    setGeometry(1, 247, 398, 26);
    setAutoFillBackground(true);
    QPalette silver = palette();
    silver.setColor(QPalette::Window, QColor(192, 192, 192));
    setPalette(silver);
    QFont valueFont = arialPixels(14);
    valueFont.setItalic(true);
    stripLabel(this, "Label11", QStringLiteral("MIN: "), {16, 9, 56, 14}, windowFont);
    stripLabel(this, "Label12", QStringLiteral("MAX: "), {208, 9, 56, 14}, windowFont);
    MinText = stripLabel(this, "MinText", QString(), {72, 7, 48, 17}, valueFont);
    MaxText = stripLabel(this, "MaxText", QString(), {264, 7, 48, 17}, valueFont);
    MinTextU = stripLabel(this, "MinTextU", QString(), {120, 7, 80, 17}, windowFont);
    MaxTextU = stripLabel(this, "MaxTextU", QString(), {312, 7, 80, 17}, windowFont);
    hide();
}

void MinMaxStrip::showState(const LcdPanelState &panel)
{
    const struct {
        QLabel *label;
        Ind id;
    } strip[] = {
        {MinText, Ind::MinText},
        {MaxText, Ind::MaxText},
        {MinTextU, Ind::MinTextU},
        {MaxTextU, Ind::MaxTextU},
    };
    for (const auto &s : strip)
        s.label->setText(panel.text(s.id));
}

} // namespace sorrel
