// sorrel-cli log: unattended recording from a meter through the same session, links
// and recorder as the window, into a reading file the program can open.

#include "base/decimalseparator.h"
#include "app/metersession.h"
#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/logmqtt.h"
#include "cli/recording.h"
#include "cli/rowwriter.h"
#include "link/bridgelink.h"
#include "link/commportdriver.h"
#include "link/demometer.h"
#include "link/meterlinks.h"
#include "link/ttybridgeapi.h"
#include "record/growingfile.h"
#include "record/readingfiles.h"
#include "record/replacingfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <memory>
#include <optional>
#include <sys/socket.h>
#include <unistd.h>

namespace sorrel::cli {

namespace {

const char kUsage[] =
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

enum class Source { Port, Bridge, Demo };

struct LogRun {
    std::optional<Source> source;
    QString device; // empty for --bridge: the first bridge found
    ModelFlags flags = ModelFlags::shipped();
    std::optional<QString> interval;
    RecordSettings record;
    std::optional<qint64> count;
    std::optional<double> duration; // seconds
    QString out;
    std::optional<OutputFormat> format;
    MqttOptions mqtt;
};

struct BadOption {
    QString message;
};

void fail(const QString &message) { throw BadOption{QStringLiteral("sorrel-cli log: ") + message}; }

bool allDigits(const QString &text)
{
    return !text.isEmpty()
        && std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

LogRun parseArguments(const QStringList &args)
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
                         : run.device.isEmpty()         ? QStringLiteral("bridge")
                                                        : run.device;
    if (const QString bad = finishMqttOptions(run.mqtt, source); !bad.isEmpty())
        fail(bad);
    if (run.source == Source::Port && resolveProfile(run.flags).handler == FrameHandler::None)
        fail(QStringLiteral("the profile binds no serial frame handler; --port would decode nothing"));
    return run;
}

// ---- stderr ------------------------------------------------------------------------

// "rows, last reading" kept on one line, only where someone watches.
class ProgressLine {
public:
    ProgressLine() : enabled_(::isatty(STDERR_FILENO) == 1) {}
    void show(const QString &text)
    {
        if (!enabled_)
            return;
        std::fprintf(stderr, "\r%s\033[K", text.toLocal8Bit().constData());
        std::fflush(stderr);
        open_ = true;
    }
    // Before any other line.
    void end()
    {
        if (open_)
            std::fputc('\n', stderr);
        open_ = false;
    }

private:
    bool enabled_;
    bool open_ = false;
};

// The tool's messages on stderr. While a device is retried once a second, each message
// is said once: one already said is dropped until the device is open again.
class LogNotifier : public Notifier {
public:
    explicit LogNotifier(ProgressLine &progress) : progress_(progress) {}
    void notify(MessageKind kind, const QString &text) override
    {
        const QString key = QString::number(int(kind)) + u' ' + text;
        if (said_.contains(key))
            return;
        said_.insert(key);
        progress_.end();
        out_.notify(kind, text);
    }
    void deviceOpened() { said_.clear(); }

private:
    ProgressLine &progress_;
    StderrNotifier out_;
    QSet<QString> said_;
};

// ---- SIGINT / SIGTERM ------------------------------------------------------------
// The handler only writes a byte into a socket pair; the event loop reads it.

int gSignalWriteFd = -1;

extern "C" void onStopSignal(int)
{
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(gSignalWriteFd, &byte, 1);
    errno = saved;
}

class StopSignals {
public:
    bool install()
    {
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds_) != 0)
            return false;
        gSignalWriteFd = fds_[0];
        struct sigaction sa {};
        sa.sa_handler = onStopSignal;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART;
        ::sigaction(SIGINT, &sa, &oldInt_);
        ::sigaction(SIGTERM, &sa, &oldTerm_);
        installed_ = true;
        return true;
    }
    int readFd() const { return fds_[1]; }
    void drain()
    {
        char buf[64];
        while (::read(fds_[1], buf, sizeof buf) > 0) {
        }
    }
    ~StopSignals()
    {
        if (installed_) {
            ::sigaction(SIGINT, &oldInt_, nullptr);
            ::sigaction(SIGTERM, &oldTerm_, nullptr);
            gSignalWriteFd = -1;
        }
        for (int fd : fds_)
            if (fd >= 0)
                ::close(fd);
    }

private:
    int fds_[2] = {-1, -1};
    bool installed_ = false;
    struct sigaction oldInt_ {};
    struct sigaction oldTerm_ {};
};

// ---- the output file -------------------------------------------------------------

// The tab-separated file grows a row at a time and reaches the disk once a second. The
// XML packet is written whole at the end, replacing the target only when complete; until
// then its rows grow in a tab-separated journal beside it, so that a full disk or a kill
// loses at most the last second.
class OutputFile {
public:
    OutputFile(QString fileName, bool xml, Notifier &notifier)
        : fileName_(std::move(fileName)), xml_(xml), notifier_(notifier),
          rows_(xml_ ? journalName(fileName_) : fileName_)
    {
    }

    // A journal without rows would only stop the next run: a run that ends early drops it.
    ~OutputFile()
    {
        if (xml_ && journalOpen_ && rowCount_ == 0)
            rows_.remove();
    }

    static QString journalName(const QString &target) { return target + QStringLiteral(".journal"); }

    // Creates the file now, so that a name that cannot be written fails at once.
    bool open()
    {
        if (xml_) {
            ReplacingFile probe(fileName_);
            if (!probe.open())
                return failed(fileName_, probe.errorString());
            probe.discard();
            if (!rows_.open(GrowingReadingFile::Mode::CreateNew)) {
                if (QFileInfo::exists(rows_.fileName()))
                    notifier_.error(QStringLiteral("sorrel-cli log: %1 holds the rows of an earlier run that did "
                                                   "not end; move it away first")
                                        .arg(QDir::toNativeSeparators(rows_.fileName())));
                else
                    failed(rows_.fileName(), rows_.errorString());
                return false;
            }
            journalOpen_ = true;
        } else if (!rows_.open(GrowingReadingFile::Mode::Replace)) {
            return failed(fileName_, rows_.errorString());
        }
        return sync();
    }

    void appendRow(const ReadingRow &row)
    {
        rows_.append(row);
        ++rowCount_;
    }

    // Puts what has come since the last call on the disk.
    bool sync()
    {
        if (rows_.sync())
            return true;
        return failed(rows_.fileName(), rows_.errorString());
    }

    bool finish(const ReadingTable &table)
    {
        const bool synced = sync();
        rows_.close();
        if (!xml_)
            return synced;
        if (!SaveReadingFile(table, fileName_).tellFailure(notifier_)) {
            if (rowCount_ == 0)
                return false;
            notifier_.plain(QStringLiteral("sorrel-cli log: the rows recorded are kept in %1")
                                .arg(QDir::toNativeSeparators(rows_.fileName())));
            return false;
        }
        // The packet holds every row now, whatever became of the journal.
        journalOpen_ = false;
        if (!rows_.remove())
            failed(rows_.fileName(), rows_.errorString());
        return synced;
    }

private:
    bool failed(const QString &fileName, const QString &why)
    {
        notifier_.error(QStringLiteral("Could not save table to specified file: %1 (%2)")
                            .arg(QDir::toNativeSeparators(fileName), why));
        return false;
    }

    QString fileName_;
    bool xml_;
    Notifier &notifier_;
    GrowingReadingFile rows_; // the log itself, or the XML's journal
    bool journalOpen_ = false;  // made by this run and still on disk
    qint64 rowCount_ = 0;
};

// The reading file of --out, or the row writer for CSV, JSON lines and standard output.
class RowOutputs {
public:
    RowOutputs(const LogRun &run, Notifier &notifier)
    {
        if (run.out.isEmpty())
            return;
        const OutputFormat format = run.format.value_or(outputFormatFor(run.out));
        const bool readingFile = format == OutputFormat::Tsv || format == OutputFormat::Xml;
        if (readingFile && !RowWriter::toStdout(run.out))
            file_.emplace(run.out, format == OutputFormat::Xml, notifier);
        else
            writer_.emplace(run.out, format, notifier);
    }
    bool open() { return file_ ? file_->open() : !writer_ || writer_->open(); }
    bool append(const StreamRow &row)
    {
        if (file_)
            file_->appendRow(row.row);
        return !writer_ || writer_->append(row);
    }
    bool sync() { return file_ ? file_->sync() : !writer_ || writer_->sync(); }
    bool finish(const ReadingTable &table)
    {
        return file_ ? file_->finish(table) : !writer_ || writer_->finish(table);
    }
    bool readerGone() const { return writer_ && writer_->readerGone(); }

private:
    std::optional<OutputFile> file_;
    std::optional<RowWriter> writer_;
};

// ---- the meter ---------------------------------------------------------------------

// Opens the link of the chosen source, tells when it is lost, and reopens it.
class Meter {
public:
    Meter(const LogRun &run, MeterSession &session)
        : source_(*run.source), device_(run.device)
    {
        MeterLinks::Options options;
        options.demo = source_ == Source::Demo;
        if (source_ == Source::Bridge) {
            const QString dev = device_;
            // The bridge link wants exactly one bridge present: the named one, or the one
            // found; with several it refuses and lists them.
            options.bridgeApi = std::make_unique<TtyBridgeApi>([dev, found = located_] {
                if (!dev.isEmpty())
                    return QFileInfo::exists(dev) ? QStringList{dev} : QStringList{};
                const QStringList all = locateBridgeTtys();
                *found = all.size() == 1 ? all.front() : QString();
                return all;
            });
        }
        if (source_ == Source::Port)
            qputenv("SORREL_COM1", device_.toLocal8Bit()); // COMM2 starts on COM 1
        links_ = std::make_unique<MeterLinks>(session, std::move(options));
        links_->bindSerialHandler();
        if (source_ == Source::Port)
            links_->bridge().Timer1().stop(); // no bridge to poll
        else
            links_->toggles().setDown(Toggle::USB, true);
    }

    QString name() const
    {
        switch (source_) {
        case Source::Port: return device_;
        case Source::Bridge: return device_.isEmpty() ? QStringLiteral("the USB bridge") : device_;
        case Source::Demo: return QStringLiteral("the demo meter");
        }
        return {};
    }

    // Where the rows come from: the device path, or "demo".
    QString source() const
    {
        if (source_ == Source::Demo)
            return QStringLiteral("demo");
        return device_.isEmpty() ? *located_ : device_;
    }

    bool demoFailed() { return source_ == Source::Demo && !links_->demoMeter()->pluggedIn(); }

    bool open()
    {
        failure_ = {};
        if (source_ == Source::Port) {
            if (links_->COMM2().Connect())
                return true;
            failure_ = links_->COMM2().lastFailure();
            return false;
        }
        quint32 n = 0;
        if (links_->bridgeApi().SI_GetNumDevices(&n) != SiStatus::Success || n == 0)
            return false;
        BridgeLink &bridge = links_->bridge();
        bridge.usb_dllClick(); // says why it did not open
        if (n > 1) {
            failure_.problem = DeviceProblem::Other; // waiting would not choose one
            return false;
        }
        if (bridge.opened() && bridge.status() == SiStatus::Success)
            return true;
        failure_ = links_->bridgeApi().lastOpenFailure();
        return false;
    }

    // Trying again will not help: no rights, held by another program, several bridges.
    bool hopeless() const { return failure_.failed() && !failure_.retryable(); }
    bool busy() const { return failure_.problem == DeviceProblem::Busy; }

    // The bridge link has said why already.
    void tellFailure(Notifier &notifier) const
    {
        if (source_ == Source::Port)
            notifier.error(withDetail(QStringLiteral("sorrel-cli log: cannot open %1").arg(device_),
                                      links_->COMM2().failureDetail()));
    }

    bool lost()
    {
        if (source_ == Source::Port)
            return links_->COMM2().portLost();
        return links_->bridge().status() == SiStatus::ReadError;
    }

    void close()
    {
        if (source_ == Source::Port)
            links_->COMM2().Disconnect();
        else
            links_->bridgeApi().SI_Close(links_->bridge().handle());
    }

    // No more frames: the links go before the file is finished.
    void shutDown() { links_.reset(); }

private:
    Source source_;
    QString device_;
    std::shared_ptr<QString> located_ = std::make_shared<QString>(); // the bridge found
    std::unique_ptr<MeterLinks> links_;
    DeviceFailure failure_;
};

// ---- the run -------------------------------------------------------------------------

class Logger {
public:
    explicit Logger(const LogRun &run)
        : run_(run), notifier_(progress_),
          session_(resolveProfile(run.flags), systemDecimalSeparator(), notifier_),
          recording_(session_, notifier_, run.record), outputs_(run, notifier_)
    {
    }

    int exec()
    {
        if (!outputs_.open() || !startMqtt())
            return 1;
        if (!signals_.install()) {
            notifier_.error(QStringLiteral("sorrel-cli log: cannot watch for SIGINT and SIGTERM"));
            return 1;
        }
        QSocketNotifier stopNotifier(signals_.readFd(), QSocketNotifier::Read);
        QObject::connect(&stopNotifier, &QSocketNotifier::activated, [this] {
            signals_.drain();
            end(0);
        });

        Recorder &recorder = recording_.recorder();
        if (run_.interval) {
            recorder.setIntervalTextAtStart(*run_.interval);
            recorder.setSamplingInterval(true);
        }
        recording_.table().onRowsAppended = [this](qsizetype first, qsizetype last) {
            for (qsizetype i = first; i <= last; ++i)
                publishRow(i);
        };
        recording_.afterRecord = [this] { afterRecord(); };

        QTimer trecord; // the sampling countdown, as the window's
        trecord.setInterval(1000);
        QObject::connect(&trecord, &QTimer::timeout, [&recorder] { recorder.TrecordTimer(); });
        trecord.start();

        QTimer flush;
        flush.setInterval(1000);
        QObject::connect(&flush, &QTimer::timeout, [this] {
            if (!outputs_.sync())
                end(outputs_.readerGone() ? 0 : 1);
        });
        flush.start();

        meter_.emplace(run_, session_);
        if (meter_->demoFailed()) {
            notifier_.error(QStringLiteral("sorrel-cli log: the demo meter cannot start (no pseudo-terminal)"));
            return 1;
        }
        QTimer watch; // lost devices, once a second
        watch.setInterval(1000);
        QObject::connect(&watch, &QTimer::timeout, [this] { watchMeter(); });
        if (!openMeter())
            return 1;
        watch.start();

        QTimer deadline;
        QElapsedTimer clock;
        clock.start();
        if (run_.duration) {
            const qint64 endMs = qint64(std::ceil(*run_.duration * 1000));
            deadline.setSingleShot(true);
            auto arm = [&deadline, &clock, endMs] {
                deadline.start(int(std::min<qint64>(std::max<qint64>(endMs - clock.elapsed(), 0), 3600 * 1000)));
            };
            QObject::connect(&deadline, &QTimer::timeout, [this, &clock, endMs, arm] {
                if (clock.elapsed() >= endMs)
                    end(0);
                else
                    arm();
            });
            arm();
        }

        QCoreApplication::exec();

        recording_.stop();
        meter_->shutDown();
        recording_.table().onRowsAppended = nullptr;
        const bool written = outputs_.finish(recording_.table()) || outputs_.readerGone();
        if (!stopMqtt())
            exitCode_ = 1;
        progress_.end();
        return written ? exitCode_ : 1;
    }

private:
    StreamRow streamRow(qsizetype i)
    {
        const std::optional<Verdict> verdict = session_.lastOutcome().verdict;
        return StreamRow{recording_.table().row(i), QDateTime::currentDateTime(), verdict.value_or(Verdict::None),
                         meter_ ? meter_->source() : QString(), session_.state().decimalSeparator};
    }

    void publishRow(qsizetype i)
    {
        const StreamRow row = streamRow(i);
        if (!outputs_.append(row))
            end(outputs_.readerGone() ? 0 : 1);
        if (mqtt_)
            mqtt_->publish(row);
    }

    bool startMqtt()
    {
        if (!run_.mqtt.given)
            return true;
        mqtt_.emplace(run_.mqtt, run_.flags, run_.source == Source::Demo ? QStringLiteral("demo") : run_.device,
                      notifier_, [this] { end(1); });
        return mqtt_->start();
    }

    bool stopMqtt() { return !mqtt_ || mqtt_->stop(); }

    void end(int code)
    {
        if (ending_)
            return;
        ending_ = true;
        exitCode_ = code;
        recording_.stop();
        QCoreApplication::exit(code);
    }

    void afterRecord()
    {
        const Recorder &recorder = recording_.recorder();
        const qint32 rows = recorder.recordedCount();
        if (rows != lastCount_) {
            lastCount_ = rows;
            const ReadingTable &t = recording_.table();
            const qsizetype last = t.rowCount() - 1;
            progress_.show(QStringLiteral("rows: %1, last: %2 %3").arg(rows).arg(t.value(last), t.unit(last)));
        }
        if (run_.count && rows >= *run_.count) {
            end(0);
        } else if (rows >= recorder.recordLimit()) {
            notifier_.plain(QStringLiteral("sorrel-cli log: the record limit of %1 rows is reached")
                                .arg(recorder.recordLimit()));
            end(0);
        }
    }

    // The first open; false when the run must end (the reason is said).
    bool openMeter()
    {
        open_ = meter_->open();
        if (open_) {
            notifier_.deviceOpened();
        } else if (meter_->hopeless()) {
            meter_->tellFailure(notifier_);
            return false;
        } else {
            notifier_.plain(QStringLiteral("sorrel-cli log: cannot open %1; trying again every second")
                                .arg(meter_->name()));
        }
        return true;
    }

    void watchMeter()
    {
        if (open_ && meter_->lost()) {
            meter_->close();
            open_ = false;
            notifier_.plain(QStringLiteral("sorrel-cli log: %1 is gone; trying to reopen it every second")
                                .arg(meter_->name()));
            return;
        }
        if (!open_ && meter_->open()) {
            open_ = true;
            notifier_.deviceOpened();
            notifier_.plain(QStringLiteral("sorrel-cli log: %1 is open; logging").arg(meter_->name()));
        } else if (!open_ && meter_->hopeless()) {
            meter_->tellFailure(notifier_);
            // A device just plugged in may be held a moment by a program that probes new
            // ttys; one this user may not open stays so.
            if (!meter_->busy())
                end(1);
        }
    }

    const LogRun &run_;
    ProgressLine progress_;
    LogNotifier notifier_;
    MeterSession session_;
    SessionRecording recording_;
    RowOutputs outputs_;
    std::optional<LogMqtt> mqtt_;
    StopSignals signals_;
    std::optional<Meter> meter_;
    bool open_ = false;
    bool ending_ = false;
    int exitCode_ = 0;
    qint32 lastCount_ = 0;
};

} // namespace

int runLog(const QStringList &args)
{
    if (args.contains(QStringLiteral("--help")) || args.contains(QStringLiteral("-h"))) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    LogRun run;
    try {
        run = parseArguments(args);
    } catch (const BadOption &bad) {
        std::fprintf(stderr, "%s\n", bad.message.toLocal8Bit().constData());
        return 2;
    }
    // A reader that goes away shows as EPIPE on the write, not as a signal.
    std::signal(SIGPIPE, SIG_IGN);
    Logger logger(run);
    return logger.exec();
}

} // namespace sorrel::cli
