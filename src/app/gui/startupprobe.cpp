#include "app/gui/startupprobe.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <cstdio>
#include <cstdlib>

namespace sorrel {

namespace {

class FirstExposeWatcher : public QObject {
public:
    explicit FirstExposeWatcher(QWidget *window) : QObject(window), window_(window) {}
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        // A widget window paints and flushes while it handles its first expose; the
        // zero timer runs once that is done.
        if (event->type() == QEvent::Expose && watched == window_->windowHandle()
            && window_->windowHandle()->isExposed()) {
            qApp->removeEventFilter(this);
            QTimer::singleShot(0, [] {
                std::fputs("shown\n", stdout);
                std::fflush(stdout);
                std::_Exit(0);
            });
        }
        return false;
    }

private:
    QWidget *window_;
};

} // namespace

bool startupProbeRequested()
{
    return qEnvironmentVariableIsSet(kStartupProbeVariable);
}

void armStartupProbe(QWidget *window)
{
    // The platform window does not exist before show(); watch for it application-wide.
    qApp->installEventFilter(new FirstExposeWatcher(window));
}

} // namespace sorrel
