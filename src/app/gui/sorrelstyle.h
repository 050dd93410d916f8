#pragma once
// The platform's style, with the menu bar's overflow arrow drawn on demand instead of
// read from an image file: reading it made start-up load every image-format plugin.

#include <QProxyStyle>

namespace sorrel {

class SorrelStyle : public QProxyStyle {
public:
    QIcon standardIcon(StandardPixmap pixmap, const QStyleOption *option = nullptr,
                       const QWidget *widget = nullptr) const override;
};

} // namespace sorrel
