#include "app/options.h"

#include "decode/decodedframe.h"

#include <algorithm>

namespace sorrel {

QString appUsage()
{
    return QStringLiteral(
               "Usage: sorrel [--profile NAME[,NAME...]] [--demo] [--frame HEX]... [--screenshot FILE.png\n"
               "              [--screenshot-after SECONDS]]\n"
               "  --profile NAMES   model flags to set (default osprey): %1\n"
               "  --demo            offer a simulated light meter as the USB bridge\n"
               "  --frame HEX       apply one frame before the window shows (repeatable): 32 hex\n"
               "                    digits as one USB bridge read, 14 as one serial Tern frame\n"
               "  --screenshot F    render the window as at start-up to F (PNG) and exit\n"
               "  --screenshot-after S\n"
               "                    let the window run S seconds (0 to 3600) before the screenshot;\n"
               "                    with --demo the demo meter is connected first\n"
               "  --help            show this text\n"
               "  --version         show the version\n")
        .arg(modelFlagCliNames().join(u", "));
}

AppOptionsResult parseAppOptions(const QStringList &args)
{
    AppOptionsResult r;
    const QString valid = QStringLiteral(
        "valid options: --profile, --demo, --frame, --screenshot, --screenshot-after, --help, --version");
    for (qsizetype i = 0; i < args.size(); ++i) {
        QString arg = args[i];
        QString value;
        bool hasValue = false;
        if (arg.startsWith(u"--") && arg.contains(u'=')) {
            value = arg.section(u'=', 1);
            arg = arg.section(u'=', 0, 0);
            hasValue = true;
        }
        auto takeValue = [&]() -> bool {
            if (hasValue)
                return true;
            if (i + 1 >= args.size())
                return false;
            value = args[++i];
            return true;
        };
        if (arg == u"--help" || arg == u"-h") {
            r.options.help = true;
        } else if (arg == u"--version") {
            r.options.version = true;
        } else if (arg == u"--demo") {
            r.options.demo = true;
        } else if (arg == u"--profile") {
            if (!takeValue()) {
                r.error = QStringLiteral("sorrel: --profile needs a name; valid names: %1")
                              .arg(modelFlagCliNames().join(u", "));
                return r;
            }
            QString bad;
            const auto flags = parseModelFlags(value, &bad);
            if (!flags) {
                r.error = QStringLiteral("sorrel: unknown profile '%1'; valid names: %2")
                              .arg(bad, modelFlagCliNames().join(u", "));
                return r;
            }
            r.options.flags = *flags;
        } else if (arg == u"--frame") {
            const bool given = takeValue();
            const QString digits = value.toUpper();
            const bool hex = !digits.isEmpty() && std::all_of(digits.begin(), digits.end(), [](QChar c) {
                return hexValue(c.unicode()) >= 0;
            });
            if (!given || !hex || (digits.size() != 32 && digits.size() != 14)) {
                r.error = QStringLiteral("sorrel: --frame needs 32 or 14 hex digits");
                return r;
            }
            r.options.frames << digits;
        } else if (arg == u"--screenshot") {
            if (!takeValue() || value.isEmpty()) {
                r.error = QStringLiteral("sorrel: --screenshot needs a file name");
                return r;
            }
            r.options.screenshot = value;
        } else if (arg == u"--screenshot-after") {
            bool ok = false;
            const int seconds = takeValue() ? value.toInt(&ok) : 0;
            if (!ok || seconds < 0 || seconds > 3600) {
                r.error = QStringLiteral("sorrel: --screenshot-after needs a number of seconds from 0 to 3600");
                return r;
            }
            r.options.screenshotAfter = seconds;
        } else {
            r.error = QStringLiteral("sorrel: unknown option '%1'; %2").arg(args[i], valid);
            return r;
        }
    }
    if (r.options.screenshotAfter > 0 && r.options.screenshot.isEmpty())
        r.error = QStringLiteral("sorrel: --screenshot-after needs --screenshot");
    return r;
}

} // namespace sorrel
