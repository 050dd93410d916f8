#pragma once
#include "base/notifier.h"

#include <QApplication>

namespace sorrel {

// Routes a failure that escapes an event handler to the general error report; the
// program carries on.
class SorrelApplication : public QApplication {
public:
    SorrelApplication(int &argc, char **argv) : QApplication(argc, argv) {}
    void setNotifier(Notifier *notifier) { notifier_ = notifier; }
    bool notify(QObject *receiver, QEvent *event) override;

private:
    Notifier *notifier_ = nullptr;
};

} // namespace sorrel
