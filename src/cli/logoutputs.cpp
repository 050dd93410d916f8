#include "cli/logoutputs.h"

#include "cli/recording.h"
#include "record/readingfiles.h"
#include "record/replacingfile.h"

#include <QDir>
#include <QFileInfo>

namespace sorrel::cli {

OutputFile::OutputFile(QString fileName, bool xml, Notifier &notifier)
    : fileName_(std::move(fileName)), xml_(xml), notifier_(notifier),
      rows_(xml_ ? journalName(fileName_) : fileName_)
{}

OutputFile::~OutputFile()
{
    if (xml_ && journalOpen_ && rowCount_ == 0)
        rows_.remove();
}

bool OutputFile::open()
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

void OutputFile::appendRow(const ReadingRow &row)
{
    rows_.append(row);
    ++rowCount_;
}

bool OutputFile::sync()
{
    if (rows_.sync())
        return true;
    return failed(rows_.fileName(), rows_.errorString());
}

bool OutputFile::finish(const ReadingTable &table)
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

bool OutputFile::failed(const QString &fileName, const QString &why)
{
    notifier_.error(QStringLiteral("Could not save table to specified file: %1 (%2)")
                        .arg(QDir::toNativeSeparators(fileName), why));
    return false;
}

RowOutputs::RowOutputs(const LogRun &run, Notifier &notifier)
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

} // namespace sorrel::cli
