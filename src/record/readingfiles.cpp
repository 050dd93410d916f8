// Reading files: the format is picked by the file name here; the formats themselves are
// readingtextformat.cpp and readingxmlformat.cpp / readingxmlparser.cpp, both through the
// writer pieces of rowencoding.h and the one chunk reader of chunkreader.h.

#include "record/readingfiles.h"

#include "record/chunkreader.h"
#include "record/readingtextformat.h"
#include "record/readingxmlformat.h"
#include "record/replacingfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace sorrel {

using namespace readingfile;

namespace {

QString loadFailedText() { return QStringLiteral("Failed to Load File!"); }

// Writes a complete file beside the target and puts it in place; a failure leaves
// whatever was there.
template <class Body>
bool saveReplacing(const QString &fileName, QString *error, Body body)
{
    ReplacingFile file(fileName);
    if (file.open() && body(file) && file.commit())
        return true;
    *error = file.errorString();
    return false;
}

// A text file appends its rows; an XML packet replaces the table only once it was read whole.
bool loadFrom(ByteSource &source, bool xml, ReadingTable &table, const FileProgress &progress)
{
    if (!xml)
        return loadText(source, table, progress);
    ReadingTable loaded;
    if (!loadXml(source, loaded, progress))
        return false;
    table.replaceAll(std::move(loaded));
    return true;
}

} // namespace

bool isXmlReadingFile(const QString &fileName)
{
    const QString name = QFileInfo(fileName).fileName();
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot >= 0 && QStringView(name).mid(dot).compare(u".xml", Qt::CaseInsensitive) == 0;
}

bool SaveReadingFile(const ReadingTable &table, const QString &fileName, Notifier &notifier,
                     const FileProgress &progress)
{
    const QString shown = QDir::toNativeSeparators(fileName);
    QString error;
    if (isXmlReadingFile(fileName)) {
        if (!saveReplacing(fileName, &error,
                            [&](ReplacingFile &f) { return writeXml(table, f, progress); }))
            throw Failure(QStringLiteral("Cannot save \"%1\": %2").arg(shown, error));
        notifier.plain(QStringLiteral("Save table to specified file: ") + shown + QStringLiteral(" Scuss!"));
        return true;
    }
    if (!saveReplacing(fileName, &error, [&](ReplacingFile &f) { return writeText(table, f, progress); })) {
        notifier.error(QStringLiteral("Could not save table to specified file: ") + shown + u'\n' + error);
        return false;
    }
    notifier.information(QStringLiteral("Save table to specified file: ") + shown + QStringLiteral(" Scuss!"));
    return true;
}

bool LoadReadingFile(const QString &fileName, ReadingTable &table, bool emptyFirst,
                     Notifier &notifier, const FileProgress &progress)
{
    if (emptyFirst)
        table.clear();
    QFile file(fileName);
    bool ok = file.open(QIODevice::ReadOnly);
    if (ok) {
        ByteSource source(file);
        ok = loadFrom(source, isXmlReadingFile(fileName), table, progress);
    }
    if (!ok)
        notifier.error(loadFailedText());
    return ok;
}

bool LoadReadingBytes(QByteArrayView bytes, bool xml, ReadingTable &table, bool emptyFirst,
                      Notifier &notifier, qint64 chunk)
{
    if (emptyFirst)
        table.clear();
    ByteSource source(bytes, chunk);
    const bool ok = loadFrom(source, xml, table, {});
    if (!ok)
        notifier.error(loadFailedText());
    return ok;
}

} // namespace sorrel
