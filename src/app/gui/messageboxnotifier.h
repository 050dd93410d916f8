#pragma once
#include "base/notifier.h"

class QWidget;

namespace sorrel {

// Modal message boxes with the program's captions and icons.
class MessageBoxNotifier : public Notifier {
public:
    void setOwner(QWidget *owner) { owner_ = owner; }
    void notify(MessageKind kind, const QString &text) override;

private:
    QWidget *owner_ = nullptr;
};

} // namespace sorrel
