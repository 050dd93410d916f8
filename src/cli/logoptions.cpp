#include "cli/logoptions.h"

#include "cli/arguments.h"

#include <algorithm>
#include <cmath>

namespace sorrel::cli {

const char kLogUsage[] =
    "Usage: sorrel-cli log (--port DEV | --bridge [DEV] | --demo) [--profile NAME[,NAME...]]\n"
    "                      [--interval S] [--limit N] [--no-repeat] [--count N] [--duration S]\n"
    "                      [--out FILE|-] [--format tsv|xml|csv|jsonl]\n"
    "                      [--mqtt URL [--mqtt-id ID] [--mqtt-cafile FILE] [--mqtt-queue N]\n"
    "                       [--no-discovery]]\n"
    "Records readings as the window does, without it, until --count rows are recorded,\n"
    "--duration seconds have passed, the record limit is reached, or SIGINT/SIGTERM.\n"
    "  --port DEV     a serial device, read with the profile's frame handler\n"
    "  --bridge [DEV] a USB bridge tty or its /dev/serial/by-id/ link (default: the one\n"
    "                 bridge present; with several, none is taken: see sorrel-cli devices)\n"
    "  --demo         the simulated light meter\n"
    "  --profile      model flags (default osprey)\n"
    "  --interval S   sampling interval in whole seconds (\"Sampling Interval\" checked)\n"
    "  --limit N      record limit (default 10000; limitless is 10000000)\n"
    "  --no-repeat    record a reading only when it differs from the last one recorded\n"
    "  --out FILE     .xml: XML data packet, written at the end (rows kept meanwhile\n"
    "                 in FILE.journal); .csv: CSV; .jsonl or .ndjson: JSON lines; any\n"
    "                 other name: tab-separated; all but XML written as rows come and\n"
    "                 flushed every second, whole rows only\n"
    "  --out -        standard output, each row as it is recorded (default JSON lines)\n"
    "  --format F     the output format, whatever the name: tsv, xml, csv or jsonl\n"
    "  --mqtt URL     also publish each row: mqtt[s]://[user[:password]@]host[:port][/prefix]\n"
    "                 (password also from SORREL_MQTT_PASSWORD; prefix default sorrel/ID)\n"
    "  --mqtt-id ID   the id in topics and discovery (default: demo, or the device path)\n"
    "  --mqtt-cafile  the CA certificate for mqtts:// (default: the system's CA store)\n"
    "  --mqtt-queue N rows kept while the broker is away (default 100000; then the oldest go)\n"
    "  --no-discovery no Home Assistant discovery config\n"
    "A device that is missing or goes away is reopened once a second; logging resumes\n"
    "when it is back. One this user may not open ends the run, as does one held by another\n"
    "program at the start (one that comes back held is waited for).\n"
    "Exit status: 0 done, 1 the file could not be written, the device cannot be used, the\n"
    "broker refused us or rows were not delivered to it at the end, 2 bad options\n";

namespace {

void fail(const QString &message)
{
    throw BadOption{QStringLiteral("sorrel-cli log: ") + message};
}

bool allDigits(const QString &text)
{
    return !text.isEmpty()
           && std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

} // namespace

LogRun parseLogArguments(const QStringList &args)
{
    LogRun run;
    int sources = 0;
    ArgumentWalker a(args, [](const QString &m) { fail(m); });
    while (a.next()) {
        const QString &arg = a.name();
        if (arg == u"--port") {
            run.source = Source::Port;
            run.device = a.value();
            if (run.device.isEmpty())
                fail(QStringLiteral("--port needs a device"));
            ++sources;
        } else if (arg == u"--bridge") {
            run.source = Source::Bridge;
            // The device is optional: a word that is no option names it.
            run.device = a.optionalValue().value_or(QString());
            if (a.hasInlineValue() && run.device.isEmpty())
                fail(QStringLiteral("--bridge= needs a device"));
            ++sources;
        } else if (arg == u"--demo") {
            a.noValue();
            run.source = Source::Demo;
            ++sources;
        } else if (arg == u"--profile") {
            run.flags = a.profile();
        } else if (arg == u"--interval") {
            // What the interval box takes: digits only.
            const QString text = a.value();
            bool ok = false;
            text.toInt(&ok, 10);
            if (!allDigits(text) || !ok)
                fail(QStringLiteral("--interval '%1' is not a whole number of seconds").arg(text));
            run.interval = text;
        } else if (arg == u"--limit") {
            run.record.limit = a.recordLimit();
        } else if (arg == u"--no-repeat") {
            a.noValue();
            run.record.repeat = false;
        } else if (arg == u"--count") {
            const QString text = a.value();
            bool ok = false;
            const qint64 n = text.toLongLong(&ok, 10);
            if (!allDigits(text) || !ok || n < 1)
                fail(QStringLiteral("--count '%1' is not a whole number from 1").arg(text));
            run.count = n;
        } else if (arg == u"--duration") {
            const QString text = a.value();
            bool ok = false;
            const double s = text.toDouble(&ok);
            // Up to ten years; the end is checked against a monotonic clock.
            if (!ok || !std::isfinite(s) || s <= 0 || s > 3.2e8)
                fail(QStringLiteral("--duration '%1' is not a number of seconds above 0").arg(text));
            run.duration = s;
        } else if (arg == u"--out") {
            run.out = a.value();
            if (run.out.isEmpty())
                fail(QStringLiteral("--out needs a file name"));
        } else if (arg == u"--format") {
            const QString name = a.value();
            run.format = outputFormatFromName(name);
            if (!run.format)
                fail(QStringLiteral("unknown format '%1'; valid formats: tsv, xml, csv, jsonl").arg(name));
        } else if (!takeMqttOption(a, run.mqtt)) {
            fail(QStringLiteral("unknown option '%1'; valid options: --port, --bridge, --demo, --profile, "
                                "--interval, --limit, --no-repeat, --count, --duration, --out, --format, "
                                "--mqtt, --mqtt-id, --mqtt-cafile, --mqtt-queue, --no-discovery")
                     .arg(a.given()));
        }
    }
    if (sources == 0)
        fail(QStringLiteral("no meter; give --port DEV, --bridge [DEV] or --demo"));
    if (sources > 1)
        fail(QStringLiteral("one meter only: --port, --bridge and --demo exclude each other"));
    if (run.out.isEmpty() && !run.mqtt.given)
        fail(QStringLiteral("--out FILE is required (or --mqtt URL)"));
    const QString source = run.source == Source::Demo ? QStringLiteral("demo")
                           : run.device.isEmpty()     ? QStringLiteral("bridge")
                                                      : run.device;
    if (const QString bad = finishMqttOptions(run.mqtt, source); !bad.isEmpty())
        fail(bad);
    if (run.source == Source::Port && resolveProfile(run.flags).handler == FrameHandler::None)
        fail(QStringLiteral("the profile binds no serial frame handler; --port would decode nothing"));
    return run;
}

} // namespace sorrel::cli
