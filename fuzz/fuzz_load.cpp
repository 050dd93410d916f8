// Feeds arbitrary bytes to the reading-file loader, as a text file or (built with
// SORREL_FUZZ_XML) as an XML packet, and checks what a load must leave behind.
// Input: byte 0 is the read size (0: the whole input at once, n: n bytes a read, so
// that read boundaries fall inside lines, tags and references, but at most 16 reads:
// the loader reads a piece again from its start after each read that cuts it, and
// a few bytes a read over a 4 KiB line cost the rate tenfold); the file follows.

#include "base/notifier.h"
#include "record/readingfiles.h"
#include "record/readingtable.h"

#include <algorithm>
#include <cstdint>

using namespace sorrel;

namespace {

#ifdef SORREL_FUZZ_XML
constexpr bool kXml = true;
#else
constexpr bool kXml = false;
#endif

void check(bool ok)
{
    if (!ok)
        __builtin_trap();
}

const ReadingRow kBefore{7, QStringLiteral("09:00:00"), QStringLiteral("0.5"), QStringLiteral("lux")};

bool fits(const QString &text)
{
    return text.toUcs4().size() <= kReadingTextMax;
}

bool sameRows(const ReadingTable &a, const ReadingTable &b)
{
    if (a.rowCount() != b.rowCount())
        return false;
    for (qsizetype i = 0; i < a.rowCount(); ++i)
        if (!(a.row(i) == b.row(i)))
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const qint64 chunk = data[0] ? std::max(qint64(data[0]), qint64(size / 16)) : qint64(size);
    const QByteArrayView bytes(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));

    ReadingTable table;
    table.append(kBefore);
    RecordingNotifier notifier;
    const bool ok = LoadReadingBytes(bytes, kXml, table, false, chunk).tell(notifier);

    // One message exactly when the load failed, and it is the failure's.
    check(notifier.messages.size() == (ok ? 0 : 1));
    if (!ok)
        check(notifier.messages[0]
              == RecordingNotifier::Message{MessageKind::Error, QStringLiteral("Failed to Load File!")});
    // A text load keeps the rows it found; an XML load replaces them only when it succeeds.
    if (!kXml || !ok)
        check(table.rowCount() >= 1 && table.row(0) == kBefore);
    if (kXml && !ok)
        check(table.rowCount() == 1);
    // Every row as the table stores it: texts cut, a row per line or element at most.
    check(table.rowCount() <= 1 + qsizetype(size));
    for (qsizetype i = 0; i < table.rowCount(); ++i) {
        const ReadingRow r = table.row(i);
        check(fits(r.time) && fits(r.value) && fits(r.unit));
        check(r.time == table.time(i) && r.no == table.no(i));
    }
    // Where the reads end must not change what is read.
    if (data[0]) {
        ReadingTable whole;
        whole.append(kBefore);
        RecordingNotifier quiet;
        check(LoadReadingBytes(bytes, kXml, whole, false).tell(quiet) == ok);
        check(sameRows(table, whole));
    }
    return 0;
}
