#pragma once
// A recorded row as the stream outputs carry it (CSV, JSON lines, MQTT): the table's
// texts plus what the table does not hold: when the row was recorded, the verdict of
// its frame and where it came from.

#include "display/limitjudge.h"
#include "record/readingtable.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <optional>

namespace sorrel::cli {

struct StreamRow {
    ReadingRow row;
    std::optional<QDateTime> recorded; // none for rows read from a file
    Verdict verdict = Verdict::None;   // None: not judged
    QString source;                    // empty: none
    // The decimal separator the value text was written with.
    QString decimalSeparator = QStringLiteral(".");
};

enum class OutputFormat { Tsv, Xml, Csv, Jsonl };

// "tsv", "xml", "csv", "jsonl"; nullopt for any other name.
std::optional<OutputFormat> outputFormatFromName(const QString &name);
// By the name's extension: .xml, .csv, .jsonl/.ndjson, any other the tab-separated
// file; "-" (standard output) is JSON lines.
OutputFormat outputFormatFor(const QString &target);

// The value text as a number: digits with at most one separator and a leading sign;
// nullopt for anything else ("0L", an empty text).
std::optional<double> readingNumber(const QString &value, const QString &decimalSeparator);

// ISO 8601 with the date, milliseconds and the UTC offset: 2026-03-01T14:05:09.250+01:00.
QByteArray isoTimestamp(const QDateTime &when);

// RFC 4180: a header, fields quoted where needed, CRLF.
QByteArray csvHeaderLine();
QByteArray csvLine(const StreamRow &row);
// One JSON object, no line end.
QByteArray jsonObject(const StreamRow &row);

} // namespace sorrel::cli
