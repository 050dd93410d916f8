#include "app/gui/application.h"

namespace sorrel {

bool SorrelApplication::notify(QObject *receiver, QEvent *event)
{
    bool handled = false;
    const bool ok = notifier_ ? runGuarded(*notifier_, [&] { handled = QApplication::notify(receiver, event); })
                              : (handled = QApplication::notify(receiver, event), true);
    return ok && handled;
}

} // namespace sorrel
