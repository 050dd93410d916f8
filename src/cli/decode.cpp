// sorrel-cli decode: replays a capture through the meter session, as the serial port,
// the USB bridge or the HID cable would bring it, and prints one JSON object per
// decoder call.

#include "app/metersession.h"
#include "base/decimalseparator.h"
#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/recording.h"
#include "decode/hidburstjoiner.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cstdio>
#include <optional>
#include <vector>

namespace sorrel::cli {

namespace {

const char kUsage[] = "Usage: sorrel-cli decode [--profile NAME[,NAME...]] --link serial|bridge|hid\n"
                      "                         [--high TEXT] [--low TEXT] [--decimal-separator C]\n"
                      "                         [--record [--no-repeat] [--limit N] [--save FILE]] FILE|-\n"
                      "  serial: raw bytes, framed by the profile's handler (no profile: nothing decodes)\n"
                      "  bridge: raw bytes, read 32 at a time (a short tail is ignored)\n"
                      "  hid:    one input report per line: report id, then data bytes, in hex\n"
                      "  --record: record as the window does (no sampling interval) and add \"row\" and\n"
                      "    \"chart\" to each frame; --no-repeat refuses repeated readings, --limit is the\n"
                      "    record limit (default 10000), --save writes the table at the end (.xml: XML\n"
                      "    data packet, any other name: tab-separated)\n"
                      "Exit status: 0 done, 1 the table could not be saved, 2 bad options or input\n";

enum class Link { Serial, Bridge, Hid };

struct HidReport {
    quint8 id = 0;
    QByteArray data;
};

// One run of the command. Further options (for example a recorder) add their keys to
// each frame's object through `frameKeys`.
struct DecodeRun {
    ModelFlags flags;
    std::optional<Link> link;
    std::optional<QString> high, low, separator;
    QString input;
    bool record = false;
    RecordSettings recordSettings;
    std::optional<QString> save;
    std::vector<std::function<void(const MeterSession &, QJsonObject &)>> frameKeys;
};

void fail(const QString &message)
{
    throw BadOption{QStringLiteral("sorrel-cli decode: ") + message};
}

DecodeRun parseArguments(const QStringList &args)
{
    DecodeRun run;
    bool haveInput = false;
    QString needsRecord; // a recording option given
    ArgumentWalker a(args, [](const QString &m) { fail(m); });
    while (a.next()) {
        const QString &arg = a.name();
        if (arg == u"--profile") {
            run.flags = a.profile();
        } else if (arg == u"--link") {
            const QString l = a.value();
            if (l == u"serial")
                run.link = Link::Serial;
            else if (l == u"bridge")
                run.link = Link::Bridge;
            else if (l == u"hid")
                run.link = Link::Hid;
            else
                fail(QStringLiteral("unknown link '%1'; valid links: serial, bridge, hid").arg(l));
        } else if (arg == u"--high") {
            run.high = a.value();
        } else if (arg == u"--low") {
            run.low = a.value();
        } else if (arg == u"--decimal-separator") {
            const QString sep = a.value();
            if (sep.size() != 1)
                fail(QStringLiteral("--decimal-separator needs one character"));
            run.separator = sep;
        } else if (arg == u"--record" && !a.hasInlineValue()) {
            run.record = true;
        } else if (arg == u"--no-repeat" && !a.hasInlineValue()) {
            run.recordSettings.repeat = false;
            needsRecord = arg;
        } else if (arg == u"--limit") {
            run.recordSettings.limit = a.recordLimit();
            needsRecord = arg;
        } else if (arg == u"--save") {
            run.save = a.value();
            if (run.save->isEmpty())
                fail(QStringLiteral("--save needs a file name"));
            needsRecord = arg;
        } else if ((arg.startsWith(u'-') && arg != u"-") || haveInput) {
            fail(haveInput && !arg.startsWith(u'-')
                     ? QStringLiteral("one input only ('%1' is extra)").arg(arg)
                     : QStringLiteral("unknown option '%1'; valid options: --profile, --link, --high, "
                                      "--low, --decimal-separator, --record, --no-repeat, --limit, --save")
                           .arg(a.given()));
        } else {
            run.input = arg;
            haveInput = true;
        }
    }
    if (!run.link)
        fail(QStringLiteral("--link serial|bridge|hid is required"));
    if (!needsRecord.isEmpty() && !run.record)
        fail(QStringLiteral("%1 needs --record").arg(needsRecord));
    if (!haveInput)
        fail(QStringLiteral("no input; give a FILE or - for standard input"));
    return run;
}

QByteArray readInput(const QString &name)
{
    QFile f;
    const bool ok = name == u"-" ? f.open(stdin, QIODevice::ReadOnly)
                                 : (f.setFileName(name), f.open(QIODevice::ReadOnly));
    if (!ok)
        fail(QStringLiteral("cannot read %1: %2").arg(name, f.errorString()));
    QByteArray data = f.readAll();
    if (f.error() != QFileDevice::NoError)
        fail(QStringLiteral("cannot read %1: %2").arg(name, f.errorString()));
    return data;
}

QList<HidReport> parseHidReports(const QByteArray &text)
{
    QList<HidReport> reports;
    const QList<QByteArray> lines = text.split('\n');
    for (qsizetype n = 0; n < lines.size(); ++n) {
        const QList<QByteArray> tokens = lines[n].simplified().split(' ');
        if (tokens.size() == 1 && tokens[0].isEmpty())
            continue; // blank line
        HidReport r;
        for (qsizetype t = 0; t < tokens.size(); ++t) {
            bool ok = false;
            const uint v = tokens[t].size() <= 2 ? tokens[t].toUInt(&ok, 16) : 0;
            if (!ok || tokens[t].startsWith('+') || tokens[t].startsWith('-'))
                fail(QStringLiteral("line %1: '%2' is not a hex byte")
                         .arg(n + 1)
                         .arg(QString::fromLatin1(tokens[t])));
            if (t == 0)
                r.id = quint8(v);
            else
                r.data += char(v);
        }
        reports << r;
    }
    return reports;
}

QJsonObject frameObject(const MeterSession &s)
{
    const LcdPanelState &p = s.panel();
    const FrameOutcome &o = s.lastOutcome();
    QJsonObject digits;
    for (Ind id : kMainDigits)
        digits.insert(QLatin1String(indicatorName(id)), p.text(id));
    for (Ind id : kSecondRow)
        digits.insert(QLatin1String(indicatorName(id)), p.text(id));
    // Digits and the bar are never hidden; everything else counts.
    QStringList shown;
    for (int i = 0; i < kIndicatorCount; ++i) {
        const IndicatorInfo &info = indicatorInfo(Ind(i));
        if (info.kind != IndicatorKind::Digit && info.kind != IndicatorKind::Bar && p.isShown(Ind(i)))
            shown << QString::fromLatin1(info.name);
    }
    std::sort(shown.begin(), shown.end());

    QJsonObject obj;
    obj.insert(QStringLiteral("family"), QLatin1String(familyName(o.family)));
    obj.insert(QStringLiteral("frame"), s.frameText());
    obj.insert(QStringLiteral("digits"), digits);
    obj.insert(QStringLiteral("shown"), QJsonArray::fromStringList(shown));
    obj.insert(QStringLiteral("value"), s.state().currentValue);
    obj.insert(QStringLiteral("unit"), s.state().currentUnit);
    obj.insert(QStringLiteral("reading"), double(s.state().lastReading));
    obj.insert(QStringLiteral("counted"), o.counted);
    obj.insert(QStringLiteral("max"), p.text(Ind::MaxText));
    obj.insert(QStringLiteral("min"), p.text(Ind::MinText));
    obj.insert(QStringLiteral("dial"), o.dial ? QJsonValue(*o.dial) : QJsonValue());
    obj.insert(QStringLiteral("bar"), p.bar());
    obj.insert(QStringLiteral("verdict"),
               o.verdict ? QJsonValue(QLatin1String(verdictText(*o.verdict))) : QJsonValue());
    return obj;
}

void setLimit(MeterSession &s, LimitBox box, const QString &text, const char *option)
{
    // As if typed, then left: a refused text is an error, an unfinished one goes back.
    RecordingNotifier messages;
    if (s.judge().change(box, text, messages) == LimitJudge::Change::Refused)
        fail(QStringLiteral("%1 '%2' refused: %3").arg(QLatin1String(option), text, messages.texts().join(u' ')));
    s.judge().leave(box);
}

int decode(DecodeRun &run)
{
    const QByteArray data = readInput(run.input);
    const QList<HidReport> reports = run.link == Link::Hid ? parseHidReports(data) : QList<HidReport>{};

    StderrNotifier notifier;
    MeterSession session(resolveProfile(run.flags), run.separator.value_or(systemDecimalSeparator()), notifier);
    if (run.high)
        setLimit(session, LimitBox::High, *run.high, "--high");
    if (run.low)
        setLimit(session, LimitBox::Low, *run.low, "--low");

    // A capture has no clock to count a sampling interval down: the gate stays off.
    std::optional<SessionRecording> recording;
    if (run.record) {
        recording.emplace(session, notifier, run.recordSettings);
        run.frameKeys.push_back([&](const MeterSession &, QJsonObject &obj) { recording->addFrameKeys(obj); });
    }

    QObject::connect(&session, &MeterSession::frameDecoded, &session, [&] {
        QJsonObject obj = frameObject(session);
        for (const auto &keys : run.frameKeys)
            keys(session, obj);
        const QByteArray line = QJsonDocument(obj).toJson(QJsonDocument::Compact);
        std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
        std::fputc('\n', stdout);
    });

    switch (*run.link) {
    case Link::Serial:
        runGuarded(notifier, [&] { session.receiveSerial(data); });
        break;
    case Link::Bridge:
        for (qsizetype at = 0; at + 32 <= data.size(); at += 32) {
            session.darkenReceiveLamp(); // each poll tick, before its read
            runGuarded(notifier, [&] { session.dispatchBridgeRead(QByteArrayView(data).sliced(at, 32)); });
        }
        break;
    case Link::Hid: {
        HidBurstJoiner joiner;
        for (const HidReport &r : reports) {
            const HidBurstJoiner::Report out = joiner.feed(r.id, r.data);
            if (out.frameText)
                runGuarded(notifier, [&] { session.dispatchHidFrame(*out.frameText); });
        }
        break;
    }
    }
    std::fflush(stdout);
    if (recording && run.save)
        return SaveReadingFile(recording->table(), *run.save).tellFailure(notifier) ? 0 : 1;
    return 0;
}

} // namespace

int runDecode(const QStringList &args)
{
    return runCommand(args, kUsage, [&] {
        DecodeRun run = parseArguments(args);
        return decode(run);
    });
}

} // namespace sorrel::cli
