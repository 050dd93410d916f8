// sorrel-cli convert: a reading file read by the window's loader, written in any
// output format (a saved XML packet as CSV for a spreadsheet, say).

#include "base/decimalseparator.h"
#include "cli/arguments.h"
#include "cli/rowwriter.h"
#include "record/readingfiles.h"

#include <csignal>
#include <cstdio>
#include <optional>

namespace sorrel::cli {

namespace {

const char kUsage[] = "Usage: sorrel-cli convert IN --out OUT|- [--format tsv|xml|csv|jsonl] [--strict]\n"
                      "Reads a reading file as the window opens it (.xml: the XML data packet, any other\n"
                      "name: tab-separated) and writes its rows in another format.\n"
                      "  --out OUT     the file to write, or - for standard output\n"
                      "  --format F    tsv, xml, csv or jsonl (default: by OUT's name as for log --out)\n"
                      "  --strict      write nothing when the file cannot be read to its end\n"
                      "A file that cannot be read shows \"Failed to Load File!\"; the rows read before the\n"
                      "fault are still written unless --strict.\n"
                      "Exit status: 0 done, 1 the file could not be read or written, 2 bad options\n";

struct ConvertRun {
    QString in, out;
    std::optional<OutputFormat> format;
    bool strict = false;
};

void fail(const QString &message)
{
    throw BadOption{QStringLiteral("sorrel-cli convert: ") + message};
}

ConvertRun parseArguments(const QStringList &args)
{
    ConvertRun run;
    ArgumentWalker a(args, [](const QString &m) { fail(m); });
    while (a.next()) {
        const QString &arg = a.name();
        if (arg == u"--out") {
            run.out = a.value();
        } else if (arg == u"--format") {
            const QString name = a.value();
            run.format = outputFormatFromName(name);
            if (!run.format)
                fail(QStringLiteral("unknown format '%1'; valid formats: tsv, xml, csv, jsonl").arg(name));
        } else if (arg == u"--strict") {
            a.noValue();
            run.strict = true;
        } else if (arg.startsWith(u"--") || !run.in.isEmpty()) {
            fail(QStringLiteral("unknown option '%1'; valid options: --out, --format, --strict").arg(a.given()));
        } else {
            run.in = arg;
        }
    }
    if (run.in.isEmpty())
        fail(QStringLiteral("no input file"));
    if (run.out.isEmpty())
        fail(QStringLiteral("--out OUT|- is required"));
    return run;
}

int convert(const ConvertRun &run)
{
    StderrNotifier notifier;
    ReadingTable table;
    bool loaded = false;
    runGuarded(notifier, [&] { loaded = LoadReadingFile(run.in, table, true).tellFailure(notifier); });
    if (!loaded && run.strict)
        return 1;
    RowWriter writer(run.out, run.format.value_or(outputFormatFor(run.out)), notifier);
    if (!writer.open())
        return 1;
    // The files hold neither timestamps, verdicts nor sources.
    StreamRow row;
    row.decimalSeparator = systemDecimalSeparator();
    for (qsizetype i = 0; i < table.rowCount() && !writer.readerGone(); ++i) {
        row.row = table.row(i);
        if (!writer.append(row) && !writer.readerGone())
            return 1;
    }
    const bool written = writer.finish(table) || writer.readerGone();
    return loaded && written ? 0 : 1;
}

} // namespace

int runConvert(const QStringList &args)
{
    return runCommand(args, kUsage, [&] {
        const ConvertRun run = parseArguments(args);
        std::signal(SIGPIPE, SIG_IGN);
        return convert(run);
    });
}

} // namespace sorrel::cli
