#pragma once
// Reading files: the table as tab-separated text (any extension but .xml) or as its
// XML data packet (.xml in any case). Saves and loads show nothing: they return an
// outcome that the caller tells.

#include "base/outcome.h"
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

// Writes the table; the target is replaced only by a complete file. Success tells "Save
// table to specified file: ... Scuss!" (a plain box for XML, an information box for
// text). A text file that cannot be written fails as an error with the system's reason
// on its second line; an XML file as the general error report, the reason on its line.
Outcome SaveReadingFile(const ReadingTable &table, const QString &fileName, const FileProgress &progress = {});

// Reads a file into the table: a text file appends its rows, an XML file replaces every
// row. Any failure is the error "Failed to Load File!": a text load keeps the rows stored
// before the bad line, a failed XML load leaves the table as it was.
Outcome LoadReadingFile(const QString &fileName, ReadingTable &table, bool emptyFirst,
                        const FileProgress &progress = {});

// LoadReadingFile over bytes already in memory, through the same readers: the format
// named by xml instead of an extension, the bytes handed over chunk at a time as a
// file's reads hand them (a small chunk puts read boundaries inside every piece).
Outcome LoadReadingBytes(QByteArrayView bytes, bool xml, ReadingTable &table, bool emptyFirst,
                         qint64 chunk = qint64(1) << 20);

} // namespace sorrel
