// bench_record: cost per reading through INDataToTable with the chart controller,
// the chart widget's update path and the grid, at 1k and at 10M rows in one run,
// and memory per recorded reading from peak RSS against a run that records nothing.
// Each figure comes from 1000 readings; those at 1k and at 10M rows alternate in
// blocks of 100.
//
//   build/bench/bench_record                 # 10,000,000 rows (several minutes)
//   build/bench/bench_record --rows 100000   # quicker look
//   build/bench/bench_record --rows 0        # the empty run (spawned by the above)

#include "base/lcdpanelstate.h"
#include "base/notifier.h"
#include "base/readingstate.h"
#include "record/chartcontrol.h"
#include "record/gui/readinggridmodel.h"
#include "record/gui/readinggridview.h"
#include "record/gui/trendchartview.h"
#include "record/recorder.h"

#include <QApplication>
#include <QLineSeries>
#include <QProcess>
#include <QRandomGenerator>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <tuple>
#include <vector>

using namespace sorrel;

namespace {

long peakRssKiB()
{
    FILE *f = std::fopen("/proc/self/status", "r");
    if (!f)
        return -1;
    char line[256];
    long kib = -1;
    while (std::fgets(line, sizeof line, f))
        if (std::strncmp(line, "VmHWM:", 6) == 0)
            kib = std::atol(line + 6);
    std::fclose(f);
    return kib;
}

struct Figures {
    double median_us;
    double p99_us;
    double max_us;
};

Figures summarise(std::vector<double> t)
{
    std::sort(t.begin(), t.end());
    const auto at = [&](double q) { return t[std::min(t.size() - 1, size_t(q * double(t.size())))]; };
    return {at(0.5), at(0.99), t.back()};
}

struct Rig {
    ReadingState state;
    LcdPanelState panel;
    ReadingTable table;
    RecordingNotifier notifier;
    TrendChartView chart;
    TChartControl control{chart.model(), 100};
    ReadingGridModel gridModel{table};
    ReadingGridView grid;
    Recorder recorder{table, control, state, panel, notifier, QStringLiteral(":")};
    QTime now{8, 0, 0};
    std::vector<QString> valueTexts;
    int count = 1000;

    Rig()
    {
        grid.setModel(&gridModel);
        grid.resize(398, 233);
        chart.resize(321, 394);
        grid.show();
        chart.show();
        recorder.setRecordLimit(std::numeric_limits<qint32>::max());
        // The meter ticks about 100 times a second.
        recorder.clock = [this] { return now; };
        panel.show(Ind::LcdP1);
        state.currentUnit = QStringLiteral("lux");
        for (int c = 0; c < 2000; ++c)
            valueTexts.push_back(QString::number(c / 1000.0, 'f', 3));
        QApplication::processEvents();
    }

    // Sets the next reading (a random walk over a 2000-count display) outside the timing.
    void prepare()
    {
        count = std::clamp(count + int(QRandomGenerator::global()->bounded(-7, 8)), 0, 1999);
        state.lastReading = float(count);
        state.currentValue = valueTexts[size_t(count)];
        now = now.addMSecs(10);
    }

    static double threadCpuUs()
    {
        timespec ts;
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        return double(ts.tv_sec) * 1e6 + double(ts.tv_nsec) / 1e3;
    }

    // Wall time and this thread's CPU time of one reading, in microseconds. On a busy
    // machine the wall time also counts the time the thread waited for a core.
    std::pair<double, double> timedReading(bool paint)
    {
        prepare();
        const double c0 = threadCpuUs();
        const auto t0 = std::chrono::steady_clock::now();
        recorder.INDataToTable();
        if (paint) {
            chart.viewport()->repaint();
            grid.viewport()->repaint();
        }
        const auto t1 = std::chrono::steady_clock::now();
        const double c1 = threadCpuUs();
        return {std::chrono::duration<double, std::micro>(t1 - t0).count(), c1 - c0};
    }

    void untimed(qint64 n)
    {
        for (qint64 i = 0; i < n; ++i) {
            prepare();
            recorder.INDataToTable();
            if ((i & 1023) == 0)
                QApplication::processEvents();
        }
    }
};

void report(const char *label, qint64 rows, const Figures &f)
{
    std::printf("  %-32s from %8lld rows: median %7.2f us   p99 %7.2f us   max %8.2f us\n", label,
                static_cast<long long>(rows), f.median_us, f.p99_us, f.max_us);
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    qint64 rows = 10000000;
    bool quiet = false;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--rows") && i + 1 < argc)
            rows = std::atoll(argv[++i]);
        else if (!std::strcmp(argv[i], "--quiet"))
            quiet = true;
    }

    // Two rigs in one process: one kept near 1k rows, one filled to the full count.
    // Their timed readings alternate in blocks, so a busy machine weighs on both alike.
    Rig small;
    Rig large;
    if (rows == 0) {
        std::printf("peak_rss_kib %ld\n", peakRssKiB());
        return 0;
    }
    const int samples = 1000;
    const int block = 100;
    if (rows < 3 * samples)
        rows = 3 * samples;

    // Update path: the recorder, table, grid model and view, chart controller, chart
    // model and the series' replace(); painting comes after, in the event loop.
    // "+paint": the same and a repaint of chart and grid for every reading.
    struct Samples {
        std::vector<double> wall, cpu;
    };
    struct Window {
        Figures wall, cpu;
    };
    auto measure = [&](bool paint) {
        Samples s, l;
        for (int done = 0; done < samples; done += block) {
            for (auto [rig, out] : {std::pair{&small, &s}, std::pair{&large, &l}}) {
                for (int i = 0; i < block; ++i) {
                    const auto [w, c] = rig->timedReading(paint);
                    out->wall.push_back(w);
                    out->cpu.push_back(c);
                }
                QApplication::processEvents();
            }
        }
        return std::pair{Window{summarise(s.wall), summarise(s.cpu)}, Window{summarise(l.wall), summarise(l.cpu)}};
    };

    small.untimed(1000);
    const auto fillStart = std::chrono::steady_clock::now();
    large.untimed(rows - 2 * samples);
    const double fillSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - fillStart).count();
    const qint64 rowsSmall = small.table.rowCount();
    const qint64 rowsLarge = large.table.rowCount();
    const auto [smallUpdate, largeUpdate] = measure(false);
    const auto [smallPaint, largePaint] = measure(true);
    const long peak = peakRssKiB();
    Rig &rig = large;

    if (rig.table.rowCount() != rows || rig.chart.model().pointCount() != rows + 1) {
        std::fprintf(stderr, "bench_record: expected %lld rows, got %lld\n", static_cast<long long>(rows),
                     static_cast<long long>(rig.table.rowCount()));
        return 1;
    }

    if (!quiet) {
        std::printf("bench_record: %lld readings, page size 100, 2000-count random walk\n",
                    static_cast<long long>(rows));
        for (const auto &[label, small, large] : {std::tuple{"update path", smallUpdate, largeUpdate},
                                                  std::tuple{"update path + paint", smallPaint, largePaint}}) {
            report((std::string(label) + ", wall").c_str(), rowsSmall, small.wall);
            report((std::string(label) + ", wall").c_str(), rowsLarge, large.wall);
            report((std::string(label) + ", thread CPU").c_str(), rowsSmall, small.cpu);
            report((std::string(label) + ", thread CPU").c_str(), rowsLarge, large.cpu);
            std::printf("  %s: median large/small %.2f (wall), %.2f (thread CPU)\n", label,
                        large.wall.median_us / small.wall.median_us, large.cpu.median_us / small.cpu.median_us);
        }
        std::printf("  series points now: %lld (the window)\n",
                    static_cast<long long>(rig.chart.Series1->count()));
        std::printf("  fill: %.1f s for %lld readings (%.2f us each)\n", fillSeconds,
                    static_cast<long long>(rows - 2 * samples), fillSeconds * 1e6 / double(rows - 2 * samples));
        std::printf("  distinct texts in the table: %lld\n", static_cast<long long>(rig.table.distinctTexts()));
    }

    // The empty run: the same rig, nothing recorded.
    QProcess empty;
    empty.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--rows"), QStringLiteral("0")});
    long baseline = -1;
    if (empty.waitForFinished(120000)) {
        const QByteArray out = empty.readAllStandardOutput();
        const int at = out.indexOf("peak_rss_kib ");
        if (at >= 0)
            baseline = std::atol(out.constData() + at + 13);
    }
    std::printf("  peak RSS: %ld KiB, empty run %ld KiB\n", peak, baseline);
    if (baseline > 0)
        std::printf("  memory per recorded reading: %.1f bytes (table + chart history + grid)\n",
                    double(peak - baseline) * 1024.0 / double(rows));
    return 0;
}
