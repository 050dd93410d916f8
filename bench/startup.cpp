// Start-up time: from spawning a process to its first painted window, for the real
// sorrel binary and for a bare Qt Widgets window built here, alternated in one run.
//
//   build/bench/bench_startup [--reps N] [--sorrel PATH]
//
// Both children run with SORREL_STARTUP_PROBE set: they print "shown" once their window
// has been exposed and painted, then end. QT_QPA_PLATFORM is passed on (offscreen when
// unset, so the bench runs headless).

#include "app/gui/startupprobe.h"

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QProcess>
#include <QWidget>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// withText: one label, so the font database is set up as in any window with words.
int runBareWindow(int argc, char **argv, bool withText)
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("bare"));
    window.setFixedSize(719, 544);
    if (withText)
        (new QLabel(QStringLiteral("Exit"), &window))->move(10, 10);
    sorrel::armStartupProbe(&window);
    window.show();
    return app.exec();
}

// Milliseconds from start() to the child's "shown"; negative on failure.
double timeToShown(const QString &program, const QStringList &args, const QProcessEnvironment &env)
{
    QProcess child;
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::SeparateChannels);
    child.setStandardErrorFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    child.start(program, args);
    double ms = -1;
    while (child.waitForReadyRead(20000)) {
        if (child.readAllStandardOutput().contains("shown")) {
            ms = double(clock.nsecsElapsed()) / 1e6;
            break;
        }
    }
    if (!child.waitForFinished(20000))
        child.kill(), child.waitForFinished();
    return ms;
}

struct Summary {
    double median, min, p90;
};

Summary summarise(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    const double median = n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
    return {median, v.front(), v[std::min(n - 1, size_t(double(n) * 0.9))]};
}

} // namespace

int main(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        if (qstrcmp(argv[i], "--bare") == 0)
            return runBareWindow(argc, argv, false);
        if (qstrcmp(argv[i], "--bare-text") == 0)
            return runBareWindow(argc, argv, true);
    }

    QCoreApplication app(argc, argv);
    int reps = 30;
    QString sorrel =
        QFileInfo(QCoreApplication::applicationDirPath() + QStringLiteral("/../sorrel")).canonicalFilePath();
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i < args.size(); ++i) {
        if (args[i] == u"--reps" && i + 1 < args.size())
            reps = std::max(1, args[++i].toInt());
        else if (args[i] == u"--sorrel" && i + 1 < args.size())
            sorrel = args[++i];
    }
    if (sorrel.isEmpty() || !QFileInfo(sorrel).isExecutable()) {
        std::fprintf(stderr, "bench_startup: no sorrel binary (give --sorrel PATH)\n");
        return 2;
    }

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QString::fromLatin1(sorrel::kStartupProbeVariable), QStringLiteral("1"));
    if (!env.contains(QStringLiteral("QT_QPA_PLATFORM")))
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));

    const QString self = QCoreApplication::applicationFilePath();
    std::vector<double> bare, bareText, real;
    // Two untimed rounds warm the page cache and the font cache for all three.
    for (int i = -2; i < reps; ++i) {
        const double b = timeToShown(self, {QStringLiteral("--bare")}, env);
        const double t = timeToShown(self, {QStringLiteral("--bare-text")}, env);
        const double s = timeToShown(sorrel, {}, env);
        if (b < 0 || t < 0 || s < 0) {
            std::fprintf(stderr, "bench_startup: a child did not report its window (%.1f, %.1f, %.1f)\n", b, t, s);
            return 1;
        }
        if (i >= 0)
            bare.push_back(b), bareText.push_back(t), real.push_back(s);
    }
    const Summary sb = summarise(bare), st = summarise(bareText), ss = summarise(real);
    std::printf("platform %s, %d runs each, ms from spawn to first painted window\n",
                qPrintable(env.value(QStringLiteral("QT_QPA_PLATFORM"))), reps);
    const auto line = [](const char *name, const Summary &m) {
        std::printf("%-22s median %7.1f  min %7.1f  p90 %7.1f\n", name, m.median, m.min, m.p90);
    };
    line("bare window", sb);
    line("bare window + label", st);
    line("sorrel", ss);
    std::printf("sorrel / bare window: %.2f (goal <= 1.50); sorrel / bare window + label: %.2f\n",
                ss.median / sb.median, ss.median / st.median);
    return 0;
}
