// sorrel: the window program.

#include "app/gui/application.h"
#include "app/gui/messageboxnotifier.h"
#include "app/gui/sorrelstyle.h"
#include "app/gui/startupprobe.h"
#include "app/gui/tfcomm.h"
#include "app/options.h"

#include <QDir>
#include <QFileInfo>
#include <QTimer>
#include <cstdio>

using namespace sorrel;

namespace {

// Qt's own options that take a value; they are left to QApplication.
bool isQtOptionWithValue(const QString &a)
{
    static const QStringList withValue{QStringLiteral("-platform"),
                                       QStringLiteral("-style"),
                                       QStringLiteral("-display"),
                                       QStringLiteral("-geometry"),
                                       QStringLiteral("-qwindowgeometry"),
                                       QStringLiteral("-stylesheet"),
                                       QStringLiteral("-session"),
                                       QStringLiteral("-plugin"),
                                       QStringLiteral("-qwindowtitle"),
                                       QStringLiteral("-qwindowicon"),
                                       QStringLiteral("-platformpluginpath"),
                                       QStringLiteral("-platformtheme")};
    return withValue.contains(a);
}

QStringList programArguments(int argc, char **argv)
{
    QStringList out;
    for (int i = 1; i < argc; ++i) {
        const QString a = QString::fromLocal8Bit(argv[i]);
        if (isQtOptionWithValue(a)) {
            ++i;
            continue;
        }
        if (a == u"-reverse" || a == u"-widgetcount" || a == u"-nograb" || a == u"-dograb")
            continue;
        out << a;
    }
    return out;
}

} // namespace

int main(int argc, char **argv)
{
    const AppOptionsResult parsed = parseAppOptions(programArguments(argc, argv));
    if (!parsed.error.isEmpty()) {
        std::fprintf(stderr, "%s\n", parsed.error.toLocal8Bit().constData());
        return 2;
    }
    if (parsed.options.help) {
        std::fputs(appUsage().toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (parsed.options.version) {
        std::printf("sorrel %s\n", SORREL_VERSION);
        return 0;
    }

    SorrelApplication app(argc, argv);
    app.setStyle(new SorrelStyle);
    app.setApplicationName(QStringLiteral("sorrel"));
    app.setApplicationVersion(QStringLiteral(SORREL_VERSION));
    // Ties the window to its desktop entry (icon and name on Wayland).
    app.setDesktopFileName(QStringLiteral("org.sorrel_meter.Sorrel"));
    MessageBoxNotifier notifier;
    app.setNotifier(&notifier);

    TFCOMM window(parsed.options, notifier);
    notifier.setOwner(&window);
    for (const QString &frame : parsed.options.frames)
        runGuarded(notifier, [&] { window.session().injectFrame(frame); });

    if (!parsed.options.screenshot.isEmpty()) {
        window.show();
        app.processEvents();
        if (parsed.options.screenshotAfter > 0) {
            // Readings come in as they would for a user who pressed "USB Connect ".
            if (parsed.options.demo)
                window.pressUsbConnect();
            QTimer::singleShot(parsed.options.screenshotAfter * 1000, &app, &QCoreApplication::quit);
            app.exec();
        }
        QImage image = window.grab().toImage();
        image.setText(QStringLiteral("Title"), window.windowTitle()); // the grab has no title bar
        if (!image.save(parsed.options.screenshot, "PNG")) {
            std::fprintf(stderr, "sorrel: could not write %s\n",
                         QDir::toNativeSeparators(parsed.options.screenshot).toLocal8Bit().constData());
            return 1;
        }
        return 0;
    }

    if (startupProbeRequested())
        armStartupProbe(&window);
    window.show();
    return app.exec();
}
