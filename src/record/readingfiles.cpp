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

Outcome loadFailed()
{
    return Outcome::failure(QStringLiteral("Failed to Load File!"));
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

Outcome SaveReadingFile(const ReadingTable &table, const QString &fileName, const FileProgress &progress)
{
    const QString shown = QDir::toNativeSeparators(fileName);
    const bool xml = isXmlReadingFile(fileName);
    const Outcome written = writeReplacing(fileName, [&](ReplacingFile &f) {
        return xml ? writeXml(table, f, progress) : writeText(table, f, progress);
    });
    if (written.failed()) {
        if (xml)
            return Outcome::failure(QStringLiteral("Cannot save \"%1\"").arg(shown), QStringLiteral(": "),
                                    written.reason(), MessageKind::Failure);
        return Outcome::failure(QStringLiteral("Could not save table to specified file: ") + shown,
                                written.reason());
    }
    return Outcome::done(QStringLiteral("Save table to specified file: ") + shown + QStringLiteral(" Scuss!"),
                         xml ? MessageKind::Plain : MessageKind::Information);
}

Outcome LoadReadingFile(const QString &fileName, ReadingTable &table, bool emptyFirst,
                        const FileProgress &progress)
{
    if (emptyFirst)
        table.clear();
    QFile file(fileName);
    bool ok = file.open(QIODevice::ReadOnly);
    if (ok) {
        ByteSource source(file);
        ok = loadFrom(source, isXmlReadingFile(fileName), table, progress);
    }
    return ok ? Outcome::success() : loadFailed();
}

Outcome LoadReadingBytes(QByteArrayView bytes, bool xml, ReadingTable &table, bool emptyFirst, qint64 chunk)
{
    if (emptyFirst)
        table.clear();
    ByteSource source(bytes, chunk);
    return loadFrom(source, xml, table, {}) ? Outcome::success() : loadFailed();
}

} // namespace sorrel
