// bench_files: reading file save and load (text and XML) beside pandas and
// xml.etree.ElementTree on the same rows, in the same run.
//
//   build/bench/bench_files [ROWS...] [--no-python] [--dir DIR] [--repeat N]
//
// Default rows: 1000000 10000000; files go to DIR (default: the temporary folder). Each
// figure is the best wall-clock time of N runs (default 3), ours each in a fresh
// process so that none inherits memory another has already faulted in; saves include
// the flush to disk that replacing a file safely needs.

#include "base/notifier.h"
#include "record/readingfiles.h"
#include "record/readingtable.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

using namespace sorrel;

namespace {

const char kPythonScript[] = R"PY(
import json, sys, time
import pandas as pd
import xml.etree.ElementTree as ET

tsv, xml, out, repeat = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
r = {}
def best(key, seconds):
    r[key] = min(r.get(key, seconds), seconds)

for _ in range(repeat):
    t = time.perf_counter(); df = pd.read_csv(tsv, sep='\t'); best('pandas_read_csv', time.perf_counter() - t)
    del df
    df = pd.read_csv(tsv, sep='\t', dtype={'No': 'int32', 'Time': str, 'Value': str, 'Unit': str},
                     keep_default_na=False)
    t = time.perf_counter(); df.to_csv(out + '.tsv', sep='\t', index=False, lineterminator='\r\n')
    best('pandas_to_csv', time.perf_counter() - t)
    del df

    t = time.perf_counter()
    rows = []
    for ev, el in ET.iterparse(xml):
        if el.tag == 'ROW':
            a = el.attrib
            rows.append((a.get('No'), a.get('Time'), a.get('Value'), a.get('Unit')))
            el.clear()
    best('et_iterparse', time.perf_counter() - t)

    t = time.perf_counter()
    root = ET.Element('DATAPACKET', Version='2.0')
    ET.SubElement(root, 'METADATA')
    rd = ET.SubElement(root, 'ROWDATA')
    for no, tm, v, u in rows:
        ET.SubElement(rd, 'ROW', No=no, Time=tm, Value=v, Unit=u)
    ET.ElementTree(root).write(out + '.xml', xml_declaration=True)
    best('et_write', time.perf_counter() - t)
    del root, rd, rows
print(json.dumps(r))
)PY";

void fillTable(ReadingTable &table, qint64 rows)
{
    const QString unit = QStringLiteral("lux");
    for (qint64 i = 0; i < rows; ++i) {
        const qint64 s = i / 4; // a few readings a second
        table.append({qint32(i % 2147483647 + 1),
                      QString::asprintf("%02d:%02d:%02d", int(s / 3600 % 24), int(s / 60 % 60), int(s % 60)),
                      QString::asprintf("%d.%03d", int(i % 20), int(i * 7 % 1000)), unit});
    }
}

double timeIt(const std::function<void()> &f)
{
    QElapsedTimer t;
    t.start();
    f();
    return double(t.nsecsElapsed()) / 1e9;
}

} // namespace

// One timed operation in this process: save-tsv, save-xml (the table is filled first,
// untimed), load-tsv, load-xml. Prints the seconds.
int child(const QString &what, qint64 n, const QString &file)
{
    RecordingNotifier notifier;
    ReadingTable table;
    double seconds = 0;
    if (what.startsWith(u"save")) {
        fillTable(table, n);
        seconds = timeIt([&] { SaveReadingFile(table, file).tell(notifier); });
    } else {
        seconds = timeIt([&] { LoadReadingFile(file, table, false).tell(notifier); });
        if (table.rowCount() != n)
            std::fprintf(stderr, "%s gave %lld rows\n", qPrintable(what), qlonglong(table.rowCount()));
    }
    for (const auto &m : notifier.messages)
        if (m.kind != MessageKind::Information && m.kind != MessageKind::Plain)
            std::fprintf(stderr, "message: %s\n", qPrintable(m.text));
    std::printf("%.6f\n", seconds);
    std::fflush(stdout);
    std::_Exit(0); // the table's teardown is not part of any figure
}

double runChild(const QString &what, qint64 n, const QString &file, int repeat)
{
    double best = -1;
    for (int i = 0; i < repeat; ++i) {
        QProcess p;
        p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--child"), what, QString::number(n), file});
        if (!p.waitForFinished(-1) || p.exitCode() != 0)
            return -1;
        const double seconds = p.readAllStandardOutput().trimmed().toDouble();
        best = best < 0 ? seconds : std::min(best, seconds);
    }
    return best;
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 5 && QByteArray(argv[1]) == "--child")
        return child(QString::fromLocal8Bit(argv[2]), QByteArray(argv[3]).toLongLong(),
                     QString::fromLocal8Bit(argv[4]));
    QList<qint64> counts;
    bool python = true;
    int repeat = 3;
    QString dirArg;
    const QStringList args = app.arguments().mid(1);
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args[i] == u"--no-python")
            python = false;
        else if (args[i] == u"--dir" && i + 1 < args.size())
            dirArg = args[++i];
        else if (args[i] == u"--repeat" && i + 1 < args.size())
            repeat = std::max(1, args[++i].toInt());
        else
            counts << args[i].toLongLong();
    }
    if (counts.isEmpty())
        counts = {1000000, 10000000};

    QTemporaryDir tmp(dirArg.isEmpty() ? QDir::tempPath() + QStringLiteral("/bench_files-XXXXXX")
                                       : dirArg + QStringLiteral("/bench_files-XXXXXX"));
    const QString script = tmp.filePath(QStringLiteral("compare.py"));
    {
        QFile f(script);
        if (!f.open(QIODevice::WriteOnly) || f.write(kPythonScript) < 0)
            return 1;
    }

    std::printf("%10s %8s %8s %8s %8s | %9s %9s %9s %9s | %s\n", "rows", "tsvSave", "tsvLoad", "xmlSave",
                "xmlLoad", "pdToCsv", "pdReadCsv", "etWrite", "etIterpar", "ratios");
    for (const qint64 n : counts) {
        const QString tsv = tmp.filePath(QStringLiteral("rows.txt"));
        const QString xml = tmp.filePath(QStringLiteral("rows.xml"));
        const double tsvSave = runChild(QStringLiteral("save-tsv"), n, tsv, repeat);
        const double xmlSave = runChild(QStringLiteral("save-xml"), n, xml, repeat);
        const double tsvLoad = runChild(QStringLiteral("load-tsv"), n, tsv, repeat);
        const double xmlLoad = runChild(QStringLiteral("load-xml"), n, xml, repeat);

        QJsonObject py;
        if (python) {
            QProcess p;
            p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            p.start(QStringLiteral("/usr/bin/python3"),
                    {script, tsv, xml, tmp.filePath(QStringLiteral("py")), QString::number(repeat)});
            if (p.waitForFinished(-1) && p.exitCode() == 0)
                py = QJsonDocument::fromJson(p.readAllStandardOutput()).object();
            else
                std::fprintf(stderr, "python comparison failed\n");
        }
        const double toCsv = py.value(QStringLiteral("pandas_to_csv")).toDouble();
        const double readCsv = py.value(QStringLiteral("pandas_read_csv")).toDouble();
        std::printf("%10lld %8.3f %8.3f %8.3f %8.3f | %9.3f %9.3f %9.3f %9.3f | "
                    "to_csv/tsvSave %.1fx, read_csv/tsvLoad %.1fx, xmlSave/tsvSave %.2f, "
                    "xmlLoad/tsvLoad %.2f\n",
                    qlonglong(n), tsvSave, tsvLoad, xmlSave, xmlLoad, toCsv, readCsv,
                    py.value(QStringLiteral("et_write")).toDouble(),
                    py.value(QStringLiteral("et_iterparse")).toDouble(), toCsv / tsvSave, readCsv / tsvLoad,
                    xmlSave / tsvSave, xmlLoad / tsvLoad);
        std::fflush(stdout);
        QFile::remove(tsv);
        QFile::remove(xml);
        QFile::remove(tmp.filePath(QStringLiteral("py.tsv")));
        QFile::remove(tmp.filePath(QStringLiteral("py.xml")));
    }
    std::printf("seconds, best of %d; files in %s\n", repeat, qPrintable(QDir::toNativeSeparators(tmp.path())));
    return 0;
}
