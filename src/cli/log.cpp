// sorrel-cli log: unattended recording from a meter through the same session, links
// and recorder as the window, into a reading file the program can open.

#include "app/metersession.h"
#include "base/decimalseparator.h"
#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/logconsole.h"
#include "cli/logmeter.h"
#include "cli/logmqtt.h"
#include "cli/logoptions.h"
#include "cli/logoutputs.h"
#include "cli/recording.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <optional>

namespace sorrel::cli {

namespace {

class Logger {
public:
    explicit Logger(const LogRun &run)
        : run_(run), notifier_(progress_),
          session_(resolveProfile(run.flags), systemDecimalSeparator(), notifier_),
          recording_(session_, notifier_, run.record), outputs_(run, notifier_)
    {}

    int exec()
    {
        if (!outputs_.open() || !startMqtt())
            return 1;
        if (!signals_.install()) {
            notifier_.error(QStringLiteral("sorrel-cli log: cannot watch for SIGINT and SIGTERM"));
            return 1;
        }
        QSocketNotifier stopNotifier(signals_.readFd(), QSocketNotifier::Read);
        QObject::connect(&stopNotifier, &QSocketNotifier::activated, &context_, [this] {
            signals_.drain();
            end(0);
        });

        Recorder &recorder = recording_.recorder();
        if (run_.interval) {
            recorder.setIntervalTextAtStart(*run_.interval);
            recorder.setSamplingInterval(true);
        }
        // Rows go out as they are appended, before the check that may end the run.
        const QMetaObject::Connection rows = QObject::connect(&recording_.table(), &ReadingTable::rowsAppended,
                                                              &context_, [this](qsizetype first, qsizetype last) {
                                                                  for (qsizetype i = first; i <= last; ++i)
                                                                      publishRow(i);
                                                              });
        QObject::connect(&recording_.recording(), &Recording::recorded, &context_, [this] { afterRecord(); });

        QTimer trecord; // the sampling countdown, as the window's
        trecord.setInterval(1000);
        QObject::connect(&trecord, &QTimer::timeout, &recorder, &Recorder::TrecordTimer);
        trecord.start();

        QTimer flush;
        flush.setInterval(1000);
        QObject::connect(&flush, &QTimer::timeout, &context_, [this] {
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
        QObject::connect(&watch, &QTimer::timeout, &context_, [this] { watchMeter(); });
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
            QObject::connect(&deadline, &QTimer::timeout, &context_, [this, &clock, endMs, arm] {
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
        QObject::disconnect(rows);
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
                      notifier_);
        QObject::connect(&*mqtt_, &LogMqtt::refused, &context_, [this] { end(1); });
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
            notifier_.plain(
                QStringLiteral("sorrel-cli log: cannot open %1; trying again every second").arg(meter_->name()));
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
    QObject context_; // of the connections made by exec()
    ProgressLine progress_;
    LogNotifier notifier_;
    MeterSession session_;
    SessionRecording recording_;
    RowOutputs outputs_;
    std::optional<LogMqtt> mqtt_;
    StopSignals signals_;
    std::optional<LogMeter> meter_;
    bool open_ = false;
    bool ending_ = false;
    int exitCode_ = 0;
    qint32 lastCount_ = 0;
};

} // namespace

int runLog(const QStringList &args)
{
    return runCommand(args, kLogUsage, [&] {
        const LogRun run = parseLogArguments(args);
        // A reader that goes away shows as EPIPE on the write, not as a signal.
        std::signal(SIGPIPE, SIG_IGN);
        Logger logger(run);
        return logger.exec();
    });
}

} // namespace sorrel::cli
