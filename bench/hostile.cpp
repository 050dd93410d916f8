// bench_hostile: hostile files through the reading-file loaders, each loaded in a fresh
// process. Per case: file size, result, seconds, peak RSS beyond what the process held
// before the load, and that less the table's own row blocks.
//
//   build/bench/bench_hostile [--dir DIR] [CASE...]
//
// Cases (all by default): laughs entity deep attr100m utf8 utf16 line1g nul cr rows10m.
// Files go to DIR (default: the temporary folder) and are removed after their case; the
// largest is 1 GB. The goal for each: its result in under 1 s per 100 MB (1 s at least)
// and under 50 MB beyond the rows.

#include "base/notifier.h"
#include "record/readingfiles.h"
#include "record/readingtable.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>

using namespace sorrel;

namespace {

const char kSecret[] = "secret-4f1d-not-for-tables";

// Appends piece count times, a few megabytes a write.
bool repeat(QFile &f, const QByteArray &piece, qint64 count)
{
    const qint64 perWrite = std::max<qint64>(1, (4 << 20) / std::max<qsizetype>(1, piece.size()));
    const QByteArray block = piece.repeated(qsizetype(std::min(count, perWrite)));
    for (qint64 left = count; left > 0; left -= perWrite) {
        const QByteArray &b = left >= perWrite ? block : piece.repeated(qsizetype(left));
        if (f.write(b) != b.size())
            return false;
    }
    return true;
}

const QByteArray kXmlHead = "<?xml version=\"1.0\" standalone=\"yes\"?>\r\n";
const QByteArray kPacketHead = "<DATAPACKET Version=\"2.0\"><METADATA><FIELDS>"
                               "<FIELD attrname=\"No\" fieldtype=\"i4\"/>"
                               "<FIELD attrname=\"Time\" fieldtype=\"string\" WIDTH=\"20\"/>"
                               "<FIELD attrname=\"Value\" fieldtype=\"string\" WIDTH=\"20\"/>"
                               "<FIELD attrname=\"Unit\" fieldtype=\"string\" WIDTH=\"20\"/>"
                               "</FIELDS><PARAMS/></METADATA><ROWDATA>";
const QByteArray kPacketTail = "</ROWDATA></DATAPACKET>\r\n";
const QByteArray kTextHead = "No\tTime\tValue\tUnit\r\n";

QByteArray laughs()
{
    QByteArray d = "<!DOCTYPE DATAPACKET [\n<!ENTITY lol0 \"lol\">\n";
    for (int i = 1; i < 10; ++i)
        d += "<!ENTITY lol" + QByteArray::number(i) + " \""
             + ("&lol" + QByteArray::number(i - 1) + ";").repeated(10) + "\">\n";
    return d + "]>\n";
}

using Generate = std::function<bool(QFile &, const QString &dir)>;

struct Case {
    const char *name;
    const char *ext;
    Generate generate;
};

QList<Case> cases()
{
    const QByteArray row = "<ROW No=\"1\" Time=\"10:15:02\" Value=\"12.34\" Unit=\"lux\"/>";
    return {
        {"laughs", "xml",
         [=](QFile &f, const QString &) {
             return f.write(kXmlHead + laughs() + kPacketHead + "<ROW No=\"1\" Value=\"&lol9;\"/>" + kPacketTail)
                    > 0;
         }},
        {"entity", "xml",
         [=](QFile &f, const QString &dir) {
             const QString secret = dir + QStringLiteral("/secret.txt");
             QFile s(secret);
             if (!s.open(QIODevice::WriteOnly) || s.write(kSecret) < 0)
                 return false;
             return f.write(kXmlHead + "<!DOCTYPE DATAPACKET [<!ENTITY xxe SYSTEM \"file://" + secret.toUtf8()
                            + "\">]>\n" + kPacketHead + "<ROW No=\"1\" Value=\"&xxe;\"/>" + kPacketTail)
                    > 0;
         }},
        {"deep", "xml",
         [=](QFile &f, const QString &) {
             return f.write(kXmlHead + "<DATAPACKET>") > 0 && repeat(f, "<a>", 1000000)
                    && repeat(f, "</a>", 1000000) && f.write("</DATAPACKET>") > 0;
         }},
        {"attr100m", "xml",
         [=](QFile &f, const QString &) {
             return f.write(kXmlHead + kPacketHead + "<ROW No=\"1\" Value=\"") > 0 && repeat(f, "x", 100 << 20)
                    && f.write("\"/>" + kPacketTail) > 0;
         }},
        {"utf8", "xml",
         [=](QFile &f, const QString &) {
             return f.write(kXmlHead + kPacketHead + row + "<ROW No=\"2\" Value=\"\xc3\x28\xff\"/>" + kPacketTail)
                    > 0;
         }},
        {"utf16", "xml",
         [=](QFile &f, const QString &) {
             const QString text = QString::fromUtf8(kXmlHead + kPacketHead + row + kPacketTail);
             return f.write("\xff\xfe") == 2
                    && f.write(reinterpret_cast<const char *>(text.utf16()), text.size() * 2) > 0;
         }},
        {"line1g", "txt",
         [=](QFile &f, const QString &) {
             return f.write(kTextHead + "1\t10:15:02\t12.34\tlux\r\n2\t") > 0 && repeat(f, "x", qint64(1) << 30)
                    && f.write("\r\n3\r\n") > 0;
         }},
        {"nul", "txt",
         [=](QFile &f, const QString &) {
             static const char line[] = "1\t10:15:02\0junk junk\t12.34\r\n";
             return f.write(kTextHead) > 0 && repeat(f, QByteArray(line, sizeof line - 1), 1000000);
         }},
        {"cr", "txt",
         [=](QFile &f, const QString &) {
             return f.write("No\tTime\tValue\tUnit\r") > 0 && repeat(f, "1\t10:15:02\t12.34\tlux\r", 1000000);
         }},
        {"rows10m", "txt",
         [=](QFile &f, const QString &) {
             if (f.write(kTextHead) < 0)
                 return false;
             for (int i = 0; i < 10000000; i += 10000) {
                 QByteArray block;
                 for (int k = i; k < i + 10000; ++k) {
                     const int s = k / 4;
                     block += QByteArray::number(k + 1) + '\t'
                              + QString::asprintf("%02d:%02d:%02d", s / 3600 % 24, s / 60 % 60, s % 60).toLatin1()
                              + '\t' + QByteArray::number(k % 20) + '.' + QByteArray::number(k * 7 % 1000)
                              + "\tlux\r\n";
                 }
                 if (f.write(block) != block.size())
                     return false;
             }
             return true;
         }},
    };
}

qint64 statusKb(const char *key)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(qsizetype(std::strlen(key))).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

// The load itself, in a process of its own; prints one JSON line.
int child(const QString &file)
{
    ReadingTable table;
    RecordingNotifier notifier;
    const qint64 before = statusKb("VmRSS:");
    QElapsedTimer t;
    t.start();
    const bool ok = LoadReadingFile(file, table, false).tell(notifier);
    const double seconds = double(t.nsecsElapsed()) / 1e9;
    const qint64 peak = statusKb("VmHWM:");
    bool leaked = false;
    for (qsizetype i = 0; i < table.rowCount() && !leaked; ++i) {
        const ReadingRow r = table.row(i);
        for (const QString &s : {r.time, r.value, r.unit})
            leaked = leaked || s.contains(QLatin1String(kSecret, 16));
    }
    const qint64 blocks = (table.rowCount() + ((1 << kRowBlockBits) - 1)) >> kRowBlockBits;
    QJsonObject o{{"ok", ok},
                  {"rows", double(table.rowCount())},
                  {"seconds", seconds},
                  {"deltaKb", double(peak - before)},
                  {"rowBlocksKb", double(blocks * (16 << kRowBlockBits) / 1024)},
                  {"texts", double(table.distinctTexts())},
                  {"leaked", leaked},
                  {"message", notifier.messages.isEmpty() ? QString() : notifier.messages.first().text}};
    std::printf("%s\n", QJsonDocument(o).toJson(QJsonDocument::Compact).constData());
    std::fflush(stdout);
    std::_Exit(0); // the table's teardown is not part of any figure
}

bool runCase(const Case &c, const QString &dir)
{
    const QString file = dir + QStringLiteral("/") + QLatin1String(c.name) + u'.' + QLatin1String(c.ext);
    {
        QFile f(file);
        if (!f.open(QIODevice::WriteOnly) || !c.generate(f, dir)) {
            std::fprintf(stderr, "%s: cannot write %s\n", c.name, qPrintable(file));
            return false;
        }
    }
    const qint64 size = QFileInfo(file).size();
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--child"), file});
    const bool ran = p.waitForFinished(-1) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    QFile::remove(file);
    const QJsonObject o = QJsonDocument::fromJson(p.readAllStandardOutput()).object();
    if (!ran || o.isEmpty()) {
        std::printf("%-9s %12lld  the load did not finish (exit %d)\n", c.name, qlonglong(size), p.exitCode());
        return false;
    }
    const QString result = o.value("ok").toBool()
                               ? QStringLiteral("%1 rows").arg(qint64(o.value("rows").toDouble()))
                               : QStringLiteral("\"%1\", %2 rows")
                                     .arg(o.value("message").toString())
                                     .arg(qint64(o.value("rows").toDouble()));
    const double delta = o.value("deltaKb").toDouble() / 1024;
    const double beyond = delta - o.value("rowBlocksKb").toDouble() / 1024;
    std::printf("%-9s %12lld  %-34s %8.3f %10.1f %10.1f %8lld%s\n", c.name, qlonglong(size), qPrintable(result),
                o.value("seconds").toDouble(), delta, beyond, qlonglong(o.value("texts").toDouble()),
                o.value("leaked").toBool() ? "  LEAKED the local file" : "");
    std::fflush(stdout);
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 3 && QByteArray(argv[1]) == "--child")
        return child(QString::fromLocal8Bit(argv[2]));
    QString dirArg = QDir::tempPath();
    QStringList wanted;
    const QStringList args = app.arguments().mid(1);
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args[i] == u"--dir" && i + 1 < args.size())
            dirArg = args[++i];
        else
            wanted << args[i];
    }
    QTemporaryDir tmp(dirArg + QStringLiteral("/bench_hostile-XXXXXX"));
    if (!tmp.isValid())
        return 1;
    std::printf("%-9s %12s  %-34s %8s %10s %10s %8s\n", "case", "bytes", "result", "seconds", "peakMB+",
                "beyondRows", "texts");
    bool ok = true;
    for (const Case &c : cases())
        if (wanted.isEmpty() || wanted.contains(QLatin1String(c.name)))
            ok = runCase(c, tmp.path()) && ok;
    std::printf("peakMB+: peak RSS during the load less RSS before it; beyondRows: that less the row blocks\n");
    return ok ? 0 : 1;
}
