// bench_soak: a day of a light meter at 100 frames/s, 8,640,000 Tern bridge reads, as
// fast as they go through the session, the recorder, the chart model with its paging
// and the grid model. Once with the record limit "limitless" and once with 1000,
// each in a process of its own so that neither run's heap stands in the other's
// figures. Checks that every frame is counted and every row's number and value; and
// measures the memory beyond the run's own storage (RSS less the table's rows and texts
// and the chart's points) at the end of the first and of the last hour of frames:
// they may differ by at most 1%. Exit status 1 when a check fails, 2 when the drift
// is larger.
//
//   nice build/bench/bench_soak                 # both limits, a full day each
//   build/bench/bench_soak --frames 864000      # a shorter "day" (hours of 36,000 frames)
//   build/bench/bench_soak --limit 1000         # one run, in this process
//   build/bench/bench_soak --views              # with the Qt chart and the grid widget
//                                               # (about 170 us a recorded frame more)

#include "app/metersession.h"
#include "link/ternframeencoder.h"
#include "record/chartcontrol.h"
#include "record/chunkedvector.h"
#include "record/gui/readinggridmodel.h"
#include "record/gui/readinggridview.h"
#include "record/gui/trendchartview.h"
#include "record/recorder.h"
#include "record/trendchartmodel.h"

#include <QApplication>
#include <QProcess>

#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

using namespace sorrel;
using Clock = std::chrono::steady_clock;

namespace {

constexpr qint64 kDay = 8640000; // 24 h at 100 frames/s
constexpr int kCounts = 2000;    // a 2000-count display
constexpr int kPoints = 3;       // point after digit 1, 2 or 3
constexpr int kPageSize = 100;

long statusKiB(const char *field)
{
    FILE *f = std::fopen("/proc/self/status", "r");
    if (!f)
        return -1;
    char line[256];
    long kib = -1;
    const size_t n = std::strlen(field);
    while (std::fgets(line, sizeof line, f))
        if (std::strncmp(line, field, n) == 0)
            kib = std::atol(line + n);
    std::fclose(f);
    return kib;
}

// The table's own memory as far as it is in RSS: its packed rows (16 bytes each) and
// its distinct texts. The table
// keeps no count of its text pool's bytes, and a pool is resident in part only (its
// list of texts grows by doubling), so the pool is measured as the RSS that a pool of
// the same texts, built the same way, adds.
struct Storage {
    size_t resident = 0; // as far as it is in RSS
    size_t heap = 0;     // as allocated
};

size_t heapInUse()
{
    const struct mallinfo2 m = mallinfo2();
    return m.uordblks + m.hblkhd;
}

// A ChunkedVector of n elements of size bytes: each block is a mapping of its own
// (see runOnce), which costs a page more than the block for the allocator's header, and
// is resident as far as it is filled.
template <class T>
Storage blockStorage(qint64 n, size_t size)
{
    constexpr qint64 kBlock = ChunkedVector<T>::kBlockSize;
    constexpr size_t kPage = 4096;
    const size_t blocks = size_t((n + kBlock - 1) / kBlock);
    return {size_t(n) * size + blocks * kPage, blocks * (size_t(kBlock) * size + kPage)};
}

Storage tableBytes(const ReadingTable &table)
{
    malloc_trim(0);
    const long before = statusKiB("VmRSS:");
    const size_t heapBefore = heapInUse();
    long pool = 0;
    size_t poolHeap = 0;
    {
        ReadingTable copy;
        for (quint32 id = 1; id < quint32(table.distinctTexts()); ++id) {
            // A deep copy of the same capacity: a shared one would cost nothing.
            const QString &text = table.text(id);
            QString own;
            own.reserve(text.capacity());
            own.append(text.constData(), text.size());
            copy.intern(own);
        }
        pool = statusKiB("VmRSS:") - before;
        poolHeap = heapInUse() - heapBefore;
    }
    malloc_trim(0);
    const Storage rows = blockStorage<float>(table.rowCount(), 16);
    return {size_t(std::max(0L, pool)) * 1024 + rows.resident, poolHeap + rows.heap};
}

// The meter's frames and the value texts the panel must show for them.
struct Frames {
    std::vector<QByteArray> bytes;
    std::vector<QString> shown;

    Frames()
    {
        for (int point = 1; point <= kPoints; ++point)
            for (int c = 0; c < kCounts; ++c) {
                QString text = QStringLiteral("%1").arg(c, 4, 10, QLatin1Char('0'));
                text.insert(point, u'.');
                TernDisplay d = *TernDisplay::fromText(text);
                d.set(TernBit::LUX);
                bytes.push_back(encodeTernBridgeFrame(d));
                shown.push_back(d.text().trimmed());
            }
    }
};

// Frame k of the day: a random walk over the counts, the point moving each minute.
class Walk {
public:
    int next()
    {
        count_ = std::clamp(count_ + int(rng_() % 15) - 7, 0, kCounts - 1);
        const int point = int(frame_++ / 6000 % kPoints);
        return point * kCounts + count_;
    }

private:
    std::mt19937 rng_{20261210};
    int count_ = 1000;
    qint64 frame_ = 0;
};

struct Rig {
    RecordingNotifier notifier;
    MeterSession session{resolveProfile(ModelFlags::shipped()), QStringLiteral("."), notifier};
    ReadingTable table;
    // With views the Qt chart and the grid widget take part (the chart view owns the
    // model it draws); without them the chart's model and the grid's model alone.
    std::unique_ptr<TrendChartView> chartView;
    std::unique_ptr<ReadingGridView> grid;
    TrendChartModel plainChart;
    TrendChartModel &chart;
    TChartControl control;
    ReadingGridModel gridModel{table};
    Recorder recorder{table, control, session.state(), session.panel(), notifier, QStringLiteral(":")};
    qint64 frame = 0; // frames sent so far
    int page = 1;

    Rig(qint32 limit, bool views)
        : chartView(views ? std::make_unique<TrendChartView>() : nullptr),
          grid(views ? std::make_unique<ReadingGridView>() : nullptr),
          chart(views ? chartView->model() : plainChart), control(chart, kPageSize)
    {
        if (views) {
            grid->setModel(&gridModel);
            grid->resize(398, 233);
            chartView->resize(321, 394);
            grid->show();
            chartView->show();
        }
        recorder.setRecordLimit(limit);
        // The meter's own time of day: frame k at k * 10 ms after midnight.
        recorder.clock = [this] { return QTime::fromMSecsSinceStartOfDay(int(frame * 10 % 86400000)); };
        QObject::connect(&recorder, &Recorder::pointAdded, &recorder, [this](int p) { page = p; });
        QObject::connect(&session, &MeterSession::readingJudged, &recorder, &Recorder::INDataToTable);
        QApplication::processEvents();
    }
};

struct Mark {
    double seconds;
    qint64 rows;
    long rssKiB;
    size_t heap; // the process's heap in use
    Storage table, chart;
    double otherKiB() const { return double(rssKiB) - double(table.resident + chart.resident) / 1024.0; }
    double otherHeapKiB() const { return double(heap - table.heap - chart.heap) / 1024.0; }
};

bool fail(const char *what, qint64 frame)
{
    std::fprintf(stderr, "bench_soak: frame %lld: %s\n", static_cast<long long>(frame), what);
    return false;
}

// One frame through the bridge read; checks it was counted and, if the limit let it
// in, that it became the next row with the frame's number and value.
bool sendFrame(Rig &rig, const Frames &frames, int index, qint32 limit)
{
    const qsizetype rows = rig.table.rowCount();
    rig.session.dispatchBridgeRead(frames.bytes[size_t(index)]);
    ++rig.frame;
    if (!rig.session.lastOutcome().counted)
        return fail("not counted", rig.frame);
    const bool recorded = rows < limit;
    if (rig.table.rowCount() != rows + (recorded ? 1 : 0))
        return fail("row count", rig.frame);
    if (recorded
        && (rig.table.no(rows) != std::optional<qint32>(qint32(rig.frame))
            || rig.table.value(rows) != frames.shown[size_t(index)]))
        return fail("row number or value", rig.frame);
    return true;
}

Mark mark(Rig &rig, Clock::time_point start, qint64 hourNo)
{
    // Heap the allocator only keeps free is handed back first: a drift is what the run holds.
    malloc_trim(0);
    const qint64 points = rig.chart.pointCount();
    Mark m{std::chrono::duration<double>(Clock::now() - start).count(),
           rig.table.rowCount(),
           statusKiB("VmRSS:"),
           heapInUse(),
           {},
           blockStorage<float>(points, sizeof(float))};
    m.table = tableBytes(rig.table);
    std::printf("  hour %2lld: %7.1f s  frames %9lld  rows %9lld  RSS %7ld KiB  table %7.0f KiB  "
                "chart points %6.0f KiB  beyond them %7.0f KiB (heap: %6.0f KiB)\n",
                static_cast<long long>(hourNo), m.seconds, static_cast<long long>(rig.frame),
                static_cast<long long>(m.rows), m.rssKiB, double(m.table.resident) / 1024.0,
                double(m.chart.resident) / 1024.0, m.otherKiB(), m.otherHeapKiB());
    std::fflush(stdout);
    return m;
}

// Every row again, through the grid model as the grid shows it; the chart's paging.
bool checkAll(Rig &rig, const Frames &frames, qint64 total, qint32 limit)
{
    const qint64 rows = std::min<qint64>(total, limit);
    if (rig.table.rowCount() != rows || rig.gridModel.rowCount() != rows)
        return fail("rows at the end", total);
    if (rig.chart.pointCount() != rows + 1 || rig.recorder.nextNumber() != rows + 1)
        return fail("points or next number at the end", total);
    Walk walk;
    for (qint64 i = 0; i < rows; ++i) {
        const int index = walk.next();
        if (rig.gridModel.cellText(int(i), ReadingGridModel::No) != QString::number(i + 1)
            || rig.gridModel.cellText(int(i), ReadingGridModel::Value) != frames.shown[size_t(index)])
            return fail("grid cell", i + 1);
    }
    const int lastPage = int((rows + 1 + kPageSize - 1) / kPageSize);
    if (rig.page != lastPage || rig.control.currentPage() != lastPage)
        return fail("page at the end", total);
    rig.control.FirstPage();
    const bool first = rig.control.currentPage() == 1;
    rig.control.LastPage();
    if (!first || rig.control.currentPage() != lastPage)
        return fail("paging", total);
    return rig.notifier.messages.isEmpty() || fail("a message was shown", total);
}

int runOnce(qint64 total, qint32 limit, bool views)
{
    std::printf("bench_soak: %lld frames, record limit %d, page size %d, %s\n", static_cast<long long>(total),
                limit, kPageSize, views ? "chart and grid views" : "chart and grid models");
    // Fixed, so that every block of rows and points is a mapping of its own all day long,
    // as it is when a run starts: glibc raises the threshold once a mapping is freed.
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
    const Frames frames;
    Rig rig(limit, views);
    Walk walk;
    const qint64 hour = std::max<qint64>(1, total / 24);
    std::vector<Mark> marks;
    const auto start = Clock::now();
    for (qint64 k = 0; k < total; ++k) {
        if (!sendFrame(rig, frames, walk.next(), limit))
            return 1;
        if ((k & 4095) == 4095)
            QApplication::processEvents(); // views, if any, repaint
        if ((k + 1) % hour == 0 && (k + 1) / hour <= 24) {
            QApplication::processEvents();
            marks.push_back(mark(rig, start, (k + 1) / hour));
        }
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (!checkAll(rig, frames, total, limit))
        return 1;
    const Mark &first = marks.front(), &last = marks.back();
    const double drift = (last.otherKiB() - first.otherKiB()) / first.otherKiB();
    size_t widest = 0;
    for (size_t h = 1; h < marks.size(); ++h)
        if (std::abs(marks[h].otherKiB() - first.otherKiB())
            > std::abs(marks[widest].otherKiB() - first.otherKiB()))
            widest = h;
    std::printf("  %.1f s for %lld frames (%.2f us each), %lld rows, peak RSS %ld KiB\n", seconds,
                static_cast<long long>(total), seconds * 1e6 / double(total), static_cast<long long>(last.rows),
                statusKiB("VmHWM:"));
    std::printf("  RSS less the table: hour 1 %.0f KiB, last hour %.0f KiB\n",
                double(first.rssKiB) - double(first.table.resident) / 1024.0,
                double(last.rssKiB) - double(last.table.resident) / 1024.0);
    std::printf("  heap in use beyond the table and the chart points: %+.0f KiB (%.0f KiB at hour 1)\n",
                last.otherHeapKiB() - first.otherHeapKiB(), first.otherHeapKiB());
    std::printf("  beyond the table and the chart points: %+.0f KiB, drift %+.2f%% (limit 1%%): %s\n",
                last.otherKiB() - first.otherKiB(), drift * 100, std::abs(drift) <= 0.01 ? "ok" : "TOO MUCH");
    std::printf("  widest hourly departure from hour 1: %+.2f%% at hour %zu\n",
                (marks[widest].otherKiB() - first.otherKiB()) * 100 / first.otherKiB(), widest + 1);
    return std::abs(drift) <= 0.01 ? 0 : 2;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    qint64 total = kDay;
    qint32 limit = 0;
    bool views = false;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--views"))
            views = true;
        else if (!std::strcmp(argv[i], "--frames") && i + 1 < argc)
            total = std::max(24LL, std::atoll(argv[++i]));
        else if (!std::strcmp(argv[i], "--limit") && i + 1 < argc)
            limit = qint32(std::atol(argv[++i]));
    }
    if (limit > 0)
        return runOnce(total, limit, views);

    int worst = 0;
    for (qint32 l : {kRecordLimits.back().limit, kRecordLimits.front().limit}) {
        QProcess run;
        run.setProcessChannelMode(QProcess::ForwardedChannels);
        QStringList args{QStringLiteral("--frames"), QString::number(total), QStringLiteral("--limit"),
                         QString::number(l)};
        if (views)
            args << QStringLiteral("--views");
        run.start(QCoreApplication::applicationFilePath(), args);
        if (!run.waitForFinished(-1) || run.exitStatus() != QProcess::NormalExit)
            return 1;
        worst = std::max(worst, run.exitCode());
    }
    return worst;
}
