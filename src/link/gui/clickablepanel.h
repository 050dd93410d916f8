#pragma once
// A raised panel with a centred caption that acts on a click: the port cycle panels
// and the Connect / Disconnect panels.

#include <QLabel>

namespace sorrel {

class ClickablePanel : public QLabel {
    Q_OBJECT
public:
    ClickablePanel(const QString &caption, QWidget *parent = nullptr);

Q_SIGNALS:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    bool pressed_ = false;
};

} // namespace sorrel
