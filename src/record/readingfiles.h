#pragma once
// Reading files: the table as tab-separated text (any extension but .xml) or as its
// XML data packet (.xml in any case).

#include "base/notifier.h"
#include "record/readingtable.h"

#include <QByteArrayView>
#include <QString>
#include <functional>

namespace sorrel {

// Called now and then during a long save or load: done of total (rows when saving,
// bytes when loading). Never called per row.
using FileProgress = std::function<void(qint64 done, qint64 total)>;

// The extension alone decides: ".xml" in any letter case.
bool isXmlReadingFile(const QString &fileName);

// The tab-separated file a line at a time, CRLF included, exactly as SaveReadingFile
// writes it: for a writer that appends rows as they are recorded.
QByteArray readingFileHeaderLine();
QByteArray readingFileLine(const ReadingRow &row);

// Writes the table and reports the outcome. The target is replaced only by a complete
// file. A text file that cannot be written is reported as an error, the system's reason
// on its second line; an XML file that cannot be written throws Failure (the general
// error report). Returns true on success.
bool SaveReadingFile(const ReadingTable &table, const QString &fileName, Notifier &notifier,
                     const FileProgress &progress = {});

// Reads a file into the table: a text file appends its rows, an XML file replaces every
// row. Any failure shows "Failed to Load File!": a text load keeps the rows stored before
// the bad line, a failed XML load leaves the table as it was. Returns true on success.
bool LoadReadingFile(const QString &fileName, ReadingTable &table, bool emptyFirst,
                     Notifier &notifier, const FileProgress &progress = {});

// LoadReadingFile over bytes already in memory, through the same readers: the format
// named by xml instead of an extension, the bytes handed over chunk at a time as a
// file's reads hand them (a small chunk puts read boundaries inside every piece).
bool LoadReadingBytes(QByteArrayView bytes, bool xml, ReadingTable &table, bool emptyFirst,
                      Notifier &notifier, qint64 chunk = qint64(1) << 20);

} // namespace sorrel
