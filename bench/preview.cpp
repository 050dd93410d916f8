// bench_preview: opening the report preview on a large table, and turning to its last page.
//
//   QT_QPA_PLATFORM=offscreen build/bench/bench_preview [ROWS]
//
// Default rows: 10000000. Times are wall clock from constructing the report until the
// first page has been painted; memory is resident size above that of the filled table.

#include "base/notifier.h"
#include "record/gui/reportpreview.h"
#include "record/report.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QWindow>

#include <cstdio>

using namespace sorrel;

namespace {

long rssKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const qint64 rows = argc > 1 ? QByteArray(argv[1]).toLongLong() : 10000000;

    ReadingTable table;
    const QString unit = QStringLiteral("lux");
    for (qint64 i = 0; i < rows; ++i) {
        const qint64 s = i / 4;
        table.append({qint32(i % 2147483647 + 1),
                      QString::asprintf("%02d:%02d:%02d", int(s / 3600 % 24), int(s / 60 % 60), int(s % 60)),
                      QString::asprintf("%d.%03d", int(i % 20), int(i * 7 % 1000)), unit});
    }
    app.processEvents();
    const long before = rssKiB();

    QElapsedTimer t;
    t.start();
    const QuickRep5 report(table, QuickRep5::shortDate(QDate::currentDate()));
    RecordingNotifier notifier;
    ReportPreview preview(report, notifier);
    preview.show();
    while (!preview.windowHandle() || !preview.windowHandle()->isExposed())
        app.processEvents(QEventLoop::WaitForMoreEvents);
    preview.view()->viewport()->repaint(); // the first page, drawn
    const double open = double(t.nsecsElapsed()) / 1e9;
    const long afterOpen = rssKiB();

    t.restart();
    preview.Last->trigger();
    preview.view()->viewport()->repaint();
    const double last = double(t.nsecsElapsed()) / 1e9;

    t.restart();
    preview.Actual->trigger();
    preview.view()->viewport()->repaint();
    const double actual = double(t.nsecsElapsed()) / 1e9;
    const long afterAll = rssKiB();

    std::printf("rows %lld, pages %d\n", qlonglong(rows), report.pageCount());
    std::printf("open to first page painted: %.3f s, extra memory %.1f MiB\n", open,
                (afterOpen - before) / 1024.0);
    std::printf("last page: %.4f s; 100 %% zoom: %.4f s; extra memory after both %.1f MiB\n", last, actual,
                (afterAll - before) / 1024.0);
    std::printf("table alone: %.1f MiB resident\n", before / 1024.0);
    return 0;
}
