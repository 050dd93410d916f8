#pragma once
// Command-line options of the window program.

#include "base/profile.h"

#include <QString>
#include <QStringList>

namespace sorrel {

struct AppOptions {
    ModelFlags flags = ModelFlags::shipped();
    bool help = false;
    bool version = false;
    bool demo = false;       // plug in the demo meter instead of real bridges
    QString screenshot;      // render the start-up window to this PNG and exit
    int screenshotAfter = 0; // seconds the window runs before the screenshot (demo: connected)
    QStringList frames;      // frame digits applied before the window shows (upper case)
};

struct AppOptionsResult {
    AppOptions options;
    QString error; // one line; empty on success
};

// args excludes the program name.
AppOptionsResult parseAppOptions(const QStringList &args);
QString appUsage();

} // namespace sorrel
