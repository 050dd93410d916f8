// bench_chart: time from the page-size timer Timer2 firing until the trend chart in the
// window shows the new page (applied, laid out and painted), for page sizes typed one
// after the other, with a run of POINTS points in the chart. Target: 100 ms each.
//
//   QT_QPA_PLATFORM=offscreen build/bench/bench_chart [POINTS] [REPEATS]
//
// Defaults: 1000 points, 5 repeats of the sequence; the figure of each step is the
// slowest of its repeats (wall clock).

#include "app/gui/tfcomm.h"
#include "base/notifier.h"
#include "record/chartcontrol.h"
#include "record/gui/trendchartview.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <cstdio>
#include <limits>
#include <vector>

using namespace sorrel;

namespace {

// Types the size, fires Timer2 the way its tick does, and waits until the chart is drawn.
double applyMs(TFCOMM &w, int size)
{
    w.findChild<QLineEdit *>(QStringLiteral("Maxrecord"))->setText(QString::number(size));
    QElapsedTimer t;
    t.start();
    QMetaObject::invokeMethod(w.findChild<QTimer *>(QStringLiteral("Timer2")), "timeout");
    // Layout requests and the chart's queued second look run from the event loop.
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    w.findChild<TrendChartView *>(QStringLiteral("Chtshow"))->viewport()->repaint();
    const double ms = double(t.nsecsElapsed()) / 1e6;
    if (w.chartControl()->pageSize() != size)
        std::fprintf(stderr, "page size %d did not apply\n", size);
    return ms;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const qint64 points = argc > 1 ? QByteArray(argv[1]).toLongLong() : 1000;
    const int repeats = argc > 2 ? QByteArray(argv[2]).toInt() : 5;

    RecordingNotifier notifier;
    TFCOMM w(AppOptions{}, notifier);
    w.show();
    while (!w.windowHandle() || !w.windowHandle()->isExposed())
        app.processEvents(QEventLoop::WaitForMoreEvents);
    for (qint64 i = 0; i < points; ++i)
        w.chartControl()->AddPoint(double(i % 2000));
    app.processEvents();

    const int max = std::numeric_limits<int>::max();
    // 100 -> max is the jump that once never came back; the rest follow each other.
    // The window starts at 100; the sequence ends where it begins, so each repeat runs
    // the same steps.
    const std::vector<int> sizes = {1, 100, 100000, 1000000, max, 100, max, 100};
    std::vector<double> worst(sizes.size(), 0);
    for (int r = 0; r < repeats; ++r)
        for (size_t i = 0; i < sizes.size(); ++i)
            worst[i] = std::max(worst[i], applyMs(w, sizes[i]));

    std::printf("%lld points in the chart, slowest of %d repeats (target 100 ms)\n", points, repeats);
    for (size_t i = 0; i < sizes.size(); ++i)
        std::printf("  %10d -> %10d  %8.2f ms\n", i ? sizes[i - 1] : 100, sizes[i], worst[i]);
    return 0;
}
