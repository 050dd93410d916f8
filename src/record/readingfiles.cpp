#include "record/readingfiles.h"

#include "record/replacingfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QtEndian>

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#ifdef Q_OS_LINUX
#include <fcntl.h>
#endif

namespace sorrel {

namespace {

constexpr qsizetype kFlushBytes = 1 << 20;
constexpr qint64 kReadChunk = 1 << 20;
constexpr qint64 kProgressRows = 1 << 16;
// A saved row is under a hundred bytes; anything near these is not a reading file.
constexpr qsizetype kMaxLine = 1 << 20;
constexpr qint64 kMaxXmlToken = 4 << 20;
constexpr int kMaxXmlDepth = 32;

const char kHeader[] = "No\tTime\tValue\tUnit\r\n";

QString loadFailedText() { return QStringLiteral("Failed to Load File!"); }

// ---- writing ---------------------------------------------------------------------
// Rows are encoded straight into one buffer; each field is given room for its worst
// case (six bytes a character for an XML reference, three for UTF-8).

// Writes s in the local 8-bit encoding; rows are nearly always ASCII.
char *putLocal8Bit(char *d, QStringView s)
{
    const char16_t *p = s.utf16();
    const qsizetype n = s.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (p[i] >= 0x80) {
            const QByteArray bytes = s.toLocal8Bit();
            std::memcpy(d, bytes.constData(), size_t(bytes.size()));
            return d + bytes.size();
        }
        d[i] = char(p[i]);
    }
    return d + n;
}

char *putInt(char *d, qint32 v)
{
    return std::to_chars(d, d + 11, v).ptr;
}

char *put(char *d, const char *s, size_t n)
{
    std::memcpy(d, s, n);
    return d + n;
}

// Text field of the tab-separated file: blanks and control characters trimmed, empty
// written as NULL.
char *putTextField(char *d, const QString &s)
{
    const QChar *c = s.constData();
    qsizetype b = 0, e = s.size();
    while (b < e && c[b].unicode() <= 0x20)
        ++b;
    while (e > b && c[e - 1].unicode() <= 0x20)
        --e;
    if (b == e)
        return put(d, "NULL", 4);
    return putLocal8Bit(d, QStringView(c + b, e - b));
}

// Characters XML 1.0 can carry, even as references.
bool xmlCarries(char32_t c)
{
    if (c < 0x20)
        return c == 0x9 || c == 0xA || c == 0xD;
    if (c >= 0xD800 && c <= 0xDFFF)
        return false;
    return c != 0xFFFE && c != 0xFFFF;
}

// An attribute value. Tab and line ends become references so that the reader's
// attribute normalisation keeps them; what XML cannot carry becomes U+FFFD.
char *putXmlValue(char *d, const QString &s)
{
    const char16_t *p = reinterpret_cast<const char16_t *>(s.utf16());
    const qsizetype n = s.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = p[i];
        if (c >= 0x20 && c < 0x80) {
            switch (c) {
            case u'<': d = put(d, "&lt;", 4); break;
            case u'>': d = put(d, "&gt;", 4); break;
            case u'&': d = put(d, "&amp;", 5); break;
            case u'"': d = put(d, "&quot;", 6); break;
            case u'\'': d = put(d, "&apos;", 6); break;
            default: *d++ = char(c);
            }
            continue;
        }
        if (c == u'\t') { d = put(d, "&#9;", 4); continue; }
        if (c == u'\n') { d = put(d, "&#10;", 5); continue; }
        if (c == u'\r') { d = put(d, "&#13;", 5); continue; }
        if (c < 0x20) { d = put(d, "\xEF\xBF\xBD", 3); continue; }
        // A run of non-ASCII characters, mended where XML cannot carry them.
        QString run;
        while (i < n && p[i] >= 0x80) {
            if (QChar::isHighSurrogate(p[i]) && i + 1 < n && QChar::isLowSurrogate(p[i + 1])) {
                run.append(QChar(p[i])).append(QChar(p[i + 1]));
                i += 2;
                continue;
            }
            run.append(QChar(xmlCarries(p[i]) ? p[i] : char16_t(0xFFFD)));
            ++i;
        }
        --i;
        d = putLocal8Bit(d, run);
    }
    return d;
}

// Each distinct text of the table encoded once, in the bytes the file holds for it, so
// that a row costs three copies. Entries never move and have kSlack readable bytes after
// them: a short one is copied in one fixed-size move.
constexpr size_t kSlack = 16;

class EncodedTexts {
public:
    using Encode = char *(*)(char *, const QString &);
    EncodedTexts(const ReadingTable &table, Encode encode) : table_(table), encode_(encode) {}

    std::string_view operator()(quint32 id)
    {
        if (id < spans_.size() && spans_[id].data() && generation_ == table_.generation()) [[likely]]
            return spans_[id];
        return first(id);
    }

private:
    Q_NEVER_INLINE std::string_view first(quint32 id)
    {
        if (generation_ != table_.generation()) { // emptied while progress ran the event loop
            spans_.clear();
            blocks_.clear();
            free_ = 0;
            generation_ = table_.generation();
        }
        if (id >= spans_.size())
            spans_.resize(std::max(size_t(id) + 1, size_t(table_.distinctTexts())));
        std::string_view &s = spans_[id];
        if (!s.data())
            s = encode(table_.text(id));
        return s;
    }

    static constexpr size_t kBlock = 64 << 10;

    std::string_view encode(const QString &text)
    {
        const size_t worst = 6 * size_t(text.size()) + 8 + kSlack;
        if (worst > free_) {
            const size_t size = std::max(kBlock, worst);
            blocks_.push_back(std::make_unique<char[]>(size));
            next_ = blocks_.back().get();
            free_ = size;
        }
        char *end = encode_(next_, text);
        const std::string_view s(next_, size_t(end - next_));
        next_ = end;
        free_ -= s.size();
        return s;
    }

    const ReadingTable &table_;
    Encode encode_;
    quint64 generation_ = table_.generation();
    std::vector<std::string_view> spans_; // by id; no data: not encoded yet
    std::vector<std::unique_ptr<char[]>> blocks_;
    char *next_ = nullptr;
    size_t free_ = 0;
};

char *putEncoded(char *d, std::string_view s)
{
    if (s.size() <= kSlack)
        std::memcpy(d, s.data(), kSlack);
    else
        std::memcpy(d, s.data(), s.size());
    return d + s.size();
}

// Room one row may take at most: texts hold at most 40 UTF-16 units of six bytes.
constexpr size_t kRowRoom = 64 + 3 * (6 * 2 * kReadingTextMax + 8) + kSlack;

class BufferedWriter {
public:
    explicit BufferedWriter(ReplacingFile &file) : file_(file), buffer_(size_t(kFlushBytes) + kRowRoom) {}

    // Room for n more bytes; null when writing out failed.
    char *room(size_t n)
    {
        if (used_ + n > buffer_.size()) {
            if (!flush())
                return nullptr;
            if (n > buffer_.size())
                buffer_.resize(n);
        }
        return buffer_.data() + used_;
    }
    void advance(char *end) { used_ = size_t(end - buffer_.data()); }
    bool append(const char *s)
    {
        const size_t n = std::strlen(s);
        char *d = room(n);
        if (!d)
            return false;
        advance(put(d, s, n));
        return true;
    }
    bool flushIfFull() { return used_ < size_t(kFlushBytes) || flush(); }
    bool flush()
    {
        const qint64 n = used_ ? file_.write(buffer_.data(), qint64(used_)) : 0;
        used_ = 0;
        if (n < 0)
            return false;
#ifdef Q_OS_LINUX
        // Start putting what was written on disk now, so that the flush that makes the
        // file safe before it replaces the old one has little left to wait for.
        if (n > 0 && file_.handle() >= 0)
            ::sync_file_range(file_.handle(), written_, n, SYNC_FILE_RANGE_WRITE);
        written_ += n;
#endif
        return true;
    }

private:
    ReplacingFile &file_;
    std::vector<char> buffer_;
    size_t used_ = 0;
    qint64 written_ = 0;
};

// Calls put(d, row) for each stored row; rows recorded while progress runs the event
// loop are not part of this save.
template <class Put>
bool forEachRow(const ReadingTable &table, BufferedWriter &out, const FileProgress &progress, Put put)
{
    qsizetype n = table.rowCount();
    for (qsizetype i = 0; i < n; ++i) {
        char *d = out.room(kRowRoom);
        if (!d)
            return false;
        out.advance(put(d, table.storedRow(i)));
        if (!out.flushIfFull())
            return false;
        if (progress && (i + 1) % kProgressRows == 0) {
            progress(i + 1, n);
            n = std::min(n, table.rowCount());
        }
    }
    return out.flush();
}

// Room the line of a row takes at most.
size_t worstCase(const ReadingRow &r)
{
    return 64 + 6 * size_t(r.time.size() + r.value.size() + r.unit.size());
}

// One line of the tab-separated file; field writes one text field.
template <class Text, class Field>
char *putTextLine(char *d, std::optional<qint32> no, const Text &time, const Text &value, const Text &unit,
                  Field field)
{
    if (no)
        d = putInt(d, *no);
    *d++ = '\t';
    d = field(d, time);
    *d++ = '\t';
    d = field(d, value);
    *d++ = '\t';
    d = field(d, unit);
    return put(d, "\r\n", 2);
}

bool writeText(const ReadingTable &table, ReplacingFile &file, const FileProgress &progress)
{
    BufferedWriter out(file);
    EncodedTexts texts(table, putTextField);
    return out.append(kHeader) && forEachRow(table, out, progress, [&](char *d, const ReadingTable::StoredRow &r) {
        return putTextLine(d, r.no, texts(r.time), texts(r.value), texts(r.unit), putEncoded);
    });
}

bool writeXml(const ReadingTable &table, ReplacingFile &file, const FileProgress &progress)
{
    BufferedWriter out(file);
    const bool head = out.append(
        "<?xml version=\"1.0\" standalone=\"yes\"?>\r\n"
        "<DATAPACKET Version=\"2.0\">\r\n"
        "<METADATA>\r\n"
        "<FIELDS>\r\n"
        "<FIELD attrname=\"No\" fieldtype=\"i4\"/>\r\n"
        "<FIELD attrname=\"Time\" fieldtype=\"string\" WIDTH=\"20\"/>\r\n"
        "<FIELD attrname=\"Value\" fieldtype=\"string\" WIDTH=\"20\"/>\r\n"
        "<FIELD attrname=\"Unit\" fieldtype=\"string\" WIDTH=\"20\"/>\r\n"
        "</FIELDS>\r\n"
        "<PARAMS/>\r\n"
        "</METADATA>\r\n"
        "<ROWDATA>\r\n");
    EncodedTexts texts(table, putXmlValue);
    const bool rows = head && forEachRow(table, out, progress, [&](char *d, const ReadingTable::StoredRow &r) {
        d = put(d, "<ROW", 4);
        if (r.no) {
            d = put(d, " No=\"", 5);
            d = putInt(d, *r.no);
            *d++ = '"';
        }
        // A field without a value has no attribute.
        if (r.time) {
            d = putEncoded(put(d, " Time=\"", 7), texts(r.time));
            *d++ = '"';
        }
        if (r.value) {
            d = putEncoded(put(d, " Value=\"", 8), texts(r.value));
            *d++ = '"';
        }
        if (r.unit) {
            d = putEncoded(put(d, " Unit=\"", 7), texts(r.unit));
            *d++ = '"';
        }
        return put(d, "/>\r\n", 4);
    });
    return rows && out.append("</ROWDATA>\r\n</DATAPACKET>\r\n") && out.flush();
}

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

// ---- reading ---------------------------------------------------------------------

// Whole 32-bit decimal number with an optional sign.
template <class Char>
bool parseInt32(const Char *p, qsizetype n, qint32 *out)
{
    if (n <= 0)
        return false;
    bool negative = false;
    if (*p == Char('+') || *p == Char('-')) {
        negative = *p == Char('-');
        ++p;
        --n;
        if (n == 0)
            return false;
    }
    qint64 v = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const auto c = p[i];
        if (c < Char('0') || c > Char('9'))
            return false;
        v = v * 10 + (c - Char('0'));
        if (v > qint64(1) << 31)
            return false;
    }
    if (negative)
        v = -v;
    if (v < INT32_MIN || v > INT32_MAX)
        return false;
    *out = qint32(v);
    return true;
}

// Rows of one file share few distinct units and times: a text equal to the previous
// row's shares its storage.
class TextCache {
public:
    template <class Decode>
    bool text(const char *p, size_t n, QString *out, Decode decode)
    {
        if (n != bytes_.size() || std::memcmp(p, bytes_.data(), n) != 0) {
            QString t;
            if (!decode(p, n, &t))
                return false;
            bytes_.assign(p, n);
            text_ = std::move(t);
        }
        *out = text_;
        return true;
    }
private:
    std::string bytes_;
    QString text_;
};

// Every byte span handed to TextIds has this many readable bytes from its start.
constexpr size_t kPad = 16;

bool decodeLocal8Bit(const char *p, size_t n, QString *out)
{
    *out = QString::fromLocal8Bit(p, qsizetype(n));
    return true;
}

quint64 mix(quint64 x)
{
    x ^= x >> 33;
    x *= 0xff51afd7ed558ccdULL;
    x ^= x >> 33;
    x *= 0xc4ceb9fe1a85ec53ULL;
    return x ^ (x >> 33);
}

// The first k bytes (k < 8) of a little-endian load.
quint64 lowBytes(quint64 w, size_t k)
{
    return k >= 8 ? w : w & ((quint64(1) << (8 * k)) - 1);
}

// Text ids by the bytes that stand for the text in the file: a text met again costs a
// hash and a compare instead of a decode and an intern. Spans up to 8 bytes, nearly all
// of them, are the key itself. One per field, so that the few values of a run stay in
// the cache however many times there are; it also remembers its last text, since times
// and units repeat row after row.
class TextIds {
public:
    explicit TextIds(ReadingTable &table) : table_(table) { reset(); }

    // Spans must have kPad readable bytes from their start.
    template <class Decode>
    bool id(const char *p, size_t n, quint32 *out, Decode decode)
    {
        if (n == 0) {
            *out = 0;
            return true;
        }
        if (generation_ != table_.generation())
            reset();
        quint64 key, h;
        if (n <= 8) {
            key = lowBytes(qFromLittleEndian<quint64>(p), n);
            if (lastSize_ == n && lastKey_ == key) {
                *out = lastId_;
                return true;
            }
            h = mix(key ^ n);
        } else {
            h = n;
            for (size_t i = 0; i + 8 <= n; i += 8)
                h = mix(h ^ qFromLittleEndian<quint64>(p + i));
            key = h = mix(h ^ qFromLittleEndian<quint64>(p + n - 8));
        }
        size_t i = size_t(h) & mask_;
        for (;; i = (i + 1) & mask_) {
            const Slot &s = slots_[i];
            if (s.size == 0)
                break;
            if (s.size == n && s.key == key) {
                if (n <= 8) {
                    *out = s.id;
                    remember(key, n, s.id);
                    return true;
                }
                const Long &l = long_[s.id];
                if (std::memcmp(l.bytes.data(), p, n) == 0) {
                    *out = l.id;
                    return true;
                }
            }
        }
        QString text;
        if (!decode(p, n, &text))
            return false;
        *out = table_.intern(text);
        if (count_ >= kMaxEntries) { // a file of endless distinct texts: start afresh
            reset();
            i = size_t(h) & mask_;
        }
        if (n <= 8) {
            slots_[i] = Slot{key, quint32(n), *out};
            remember(key, n, *out);
        } else {
            slots_[i] = Slot{key, quint32(n), quint32(long_.size())};
            long_.push_back(Long{std::string(p, n), *out});
        }
        if (++count_ * 4 > slots_.size() * 3)
            grow();
        return true;
    }

private:
    static constexpr size_t kMaxEntries = size_t(1) << 20;
    // Up to 8 bytes: key holds them and id is the text id. Longer: key is the hash and
    // id indexes long_.
    struct Slot {
        quint64 key = 0;
        quint32 size = 0; // 0: free
        quint32 id = 0;
    };
    struct Long {
        std::string bytes;
        quint32 id;
    };

    void remember(quint64 key, size_t n, quint32 id)
    {
        lastKey_ = key;
        lastSize_ = n;
        lastId_ = id;
    }

    void reset()
    {
        slots_.assign(size_t(1) << 8, Slot{});
        mask_ = slots_.size() - 1;
        long_.clear();
        count_ = 0;
        lastSize_ = 0;
        generation_ = table_.generation();
    }

    void grow()
    {
        std::vector<Slot> old(slots_.size() * 2);
        old.swap(slots_);
        mask_ = slots_.size() - 1;
        for (const Slot &s : old) {
            if (!s.size)
                continue;
            size_t i = size_t(s.size <= 8 ? mix(s.key ^ s.size) : s.key) & mask_;
            while (slots_[i].size)
                i = (i + 1) & mask_;
            slots_[i] = s;
        }
    }

    ReadingTable &table_;
    std::vector<Slot> slots_;
    size_t mask_ = 0;
    size_t count_ = 0;
    std::vector<Long> long_;
    quint64 lastKey_ = 0;
    size_t lastSize_ = 0; // 0: none
    quint32 lastId_ = 0;
    quint64 generation_ = 0;
};

struct Token {
    const char *data = nullptr;
    size_t size = 0;
};

// Where a loader's bytes come from: a file read a chunk at a time, or bytes already in
// memory handed over the same way, so that both go through one reader.
class ByteSource {
public:
    explicit ByteSource(QFile &file) : file_(&file), total_(file.size()) {}
    ByteSource(QByteArrayView bytes, qint64 chunk)
        : bytes_(bytes), total_(bytes.size()), chunk_(std::max<qint64>(chunk, 1)) {}

    qint64 total() const { return total_; }
    // Most bytes the next read brings: bytes in memory never grow the buffer past them.
    qint64 next() const { return file_ ? chunk_ : std::min(chunk_, total_ - taken_); }
    qint64 read(char *to, qint64 max)
    {
        if (file_)
            return file_->read(to, max);
        const qint64 n = std::min(max, total_ - taken_);
        if (n > 0)
            std::memcpy(to, bytes_.data() + taken_, size_t(n));
        taken_ += n;
        return n;
    }

private:
    QFile *file_ = nullptr;
    QByteArrayView bytes_;
    qint64 total_ = 0;
    qint64 chunk_ = kReadChunk;
    qint64 taken_ = 0;
};

class TextLoader {
public:
    TextLoader(ByteSource &source, ReadingTable &table, const FileProgress &progress)
        : source_(source), table_(table), progress_(progress), ids_{TextIds(table), TextIds(table), TextIds(table)} {}

    // Rows before a bad line stay; the grid hears of the new rows once, at the end.
    bool run()
    {
        const ReadingTable::Batch batch(table_);
        return readAll();
    }

private:
    enum class Line { Done, More, Bad };

    bool readAll()
    {
        const qint64 total = source_.total();
        std::vector<char> buf;
        size_t begin = 0, end = 0;
        qint64 done = 0;
        bool eof = false, headerSeen = false;
        while (!eof) {
            // Keep the unfinished line, read the next chunk after it.
            if (begin > 0) {
                std::memmove(buf.data(), buf.data() + begin, end - begin);
                end -= begin;
                begin = 0;
            }
            if (qsizetype(end) > kMaxLine)
                return false;
            const qint64 want = source_.next();
            buf.resize(end + size_t(want) + kPad);
            const qint64 got = source_.read(buf.data() + end, want);
            if (got < 0)
                return false;
            eof = got == 0;
            end += size_t(got);
            done += got;

            const char *p = buf.data() + begin;
            const char *e = buf.data() + end;
            while (p < e) {
                const Line step = headerSeen ? line(p, e, eof) : skipLine(p, e, eof);
                if (step == Line::Bad)
                    return false;
                if (step == Line::More)
                    break;
                headerSeen = true;
            }
            begin = size_t(p - buf.data());
            if (progress_ && !eof)
                progress_(done, total);
        }
        return done > 0;
    }

    // q at the end of the line that starts at p (or at e); on Done p is past the line.
    static Line lineEnd(const char *&p, const char *q, const char *e, bool eof)
    {
        if (q == e) {
            if (!eof)
                return Line::More;
            p = e;
            return Line::Done;
        }
        // A CRLF split between reads leaves an empty line, which is skipped anyway.
        p = q + (q[0] == '\r' && q + 1 < e && q[1] == '\n' ? 2 : 1);
        return Line::Done;
    }

    static const char *findLineEnd(const char *q, const char *e)
    {
        while (q < e && *q != '\n' && *q != '\r')
            ++q;
        return q;
    }

    static Line skipLine(const char *&p, const char *e, bool eof)
    {
        return lineEnd(p, findLineEnd(p, e), e, eof);
    }

    // Splits the line into at most four tokens and stores its row; a fifth token fails.
    // Runs of codes 1..32 separate; a token opening with a quote runs to the matching
    // quote, a doubled quote standing for one; a NUL ends what is read of the line.
    // Nothing is stored before the whole line is in the buffer.
    Line line(const char *&pos, const char *e, bool eof)
    {
        const char *p = pos;
        int n = 0;
        for (;;) {
            unsigned char c = 0;
            while (p < e && (c = static_cast<unsigned char>(*p)) <= 32 && c != '\r' && c != '\n' && c != 0)
                ++p;
            if (p == e || c == '\r' || c == '\n')
                break;
            if (c == 0) {
                p = findLineEnd(p, e);
                break;
            }
            if (n == 4)
                return Line::Bad;
            if (c == '"') {
                std::vector<char> &s = unquoted_[size_t(n)];
                s.clear();
                ++p;
                for (;;) {
                    const char *run = p;
                    while (p < e && *p != '"' && *p != '\r' && *p != '\n' && *p != 0)
                        ++p;
                    s.insert(s.end(), run, p);
                    if (p == e && !eof)
                        return Line::More;
                    if (p == e || *p != '"')
                        break; // unterminated: the rest of the line
                    ++p;
                    if (p == e && !eof)
                        return Line::More;
                    if (p < e && *p == '"') {
                        s.push_back('"');
                        ++p;
                        continue;
                    }
                    break;
                }
                const size_t size = s.size();
                s.resize(size + kPad);
                tokens_[size_t(n)] = {s.data(), size};
            } else {
                const char *start = p;
                while (p < e && static_cast<unsigned char>(*p) > 32)
                    ++p;
                tokens_[size_t(n)] = {start, size_t(p - start)};
            }
            ++n;
        }
        if (lineEnd(pos, p, e, eof) == Line::More)
            return Line::More;
        return n == 0 || store(n) ? Line::Done : Line::Bad;
    }

    bool store(int n)
    {
        ReadingTable::StoredRow row;
        if (tokens_[0].size > 0) { // an empty quoted token leaves No without a value
            qint32 no = 0;
            if (!parseInt32(tokens_[0].data, qsizetype(tokens_[0].size), &no))
                return false;
            row.no = no;
        }
        quint32 *fields[3] = {&row.time, &row.value, &row.unit};
        for (int i = 1; i < n; ++i)
            ids_[size_t(i - 1)].id(tokens_[size_t(i)].data, tokens_[size_t(i)].size, fields[i - 1], decodeLocal8Bit);
        table_.appendStored(row);
        return true;
    }

    ByteSource &source_;
    ReadingTable &table_;
    const FileProgress &progress_;
    std::array<TextIds, 3> ids_;
    std::array<Token, 4> tokens_;
    std::array<std::vector<char>, 4> unquoted_;
};

// ---- the XML data packet ---------------------------------------------------------
// A strict reader for the data packet and nothing more: UTF-8 (Latin-1 when declared),
// no DTD at all (so no entities beyond the five predefined ones and character
// references), nesting, attribute count and the size of any one piece of markup bounded,
// the file read a chunk at a time. What it does not understand fails the load. It reads
// into a table of its own; the caller's table changes only when the whole file was read.

enum class Step { Done, More, Bad };

constexpr int kMaxAttributes = 32;

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool isNameByte(char c)
{
    const auto b = static_cast<unsigned char>(c);
    return b > 0x20 && b != '=' && b != '/' && b != '>' && b != '<' && b != '"' && b != '\''
        && b != '&' && b != '?' && b != '!';
}

bool isXmlChar(char32_t c)
{
    return c <= 0x10FFFF && xmlCarries(c);
}

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// p at '&'; on Done p is past the ';'.
Step reference(const char *&p, const char *e, bool eof, char32_t *out)
{
    constexpr ptrdiff_t kLongest = 12; // "&#x0010FFFF;"
    const char *semi = static_cast<const char *>(std::memchr(p, ';', size_t(std::min(e - p, kLongest))));
    if (!semi)
        return e - p < kLongest && !eof ? Step::More : Step::Bad;
    const std::string_view name(p + 1, size_t(semi - p - 1));
    if (name == "lt") *out = '<';
    else if (name == "gt") *out = '>';
    else if (name == "amp") *out = '&';
    else if (name == "quot") *out = '"';
    else if (name == "apos") *out = '\'';
    else if (name.size() > 1 && name[0] == '#') {
        const bool hex = name[1] == 'x';
        const std::string_view digits = name.substr(hex ? 2 : 1);
        uint32_t v = 0;
        const auto r = std::from_chars(digits.data(), digits.data() + digits.size(), v, hex ? 16 : 10);
        if (digits.empty() || r.ec != std::errc() || r.ptr != digits.data() + digits.size() || !isXmlChar(v))
            return Step::Bad;
        *out = v;
    } else {
        return Step::Bad;
    }
    p = semi + 1;
    return Step::Done;
}

class XmlLoader {
public:
    // Reads into table, a table of its own that the caller puts in place on success.
    XmlLoader(ByteSource &source, ReadingTable &table, const FileProgress &progress)
        : source_(source), progress_(progress), table_(table) {}

    bool run()
    {
        const qint64 total = source_.total();
        std::vector<char> buf;
        size_t begin = 0, end = 0;
        qint64 done = 0;
        bool eof = false, first = true;
        while (!eof) {
            if (begin > 0) {
                std::memmove(buf.data(), buf.data() + begin, end - begin);
                end -= begin;
                begin = 0;
            }
            if (qint64(end) > kMaxXmlToken)
                return false; // one piece of markup without end
            const qint64 want = source_.next();
            buf.resize(end + size_t(want) + kPad);
            const qint64 got = source_.read(buf.data() + end, want);
            if (got < 0)
                return false;
            eof = got == 0;
            end += size_t(got);
            done += got;
            if (first) {
                if (end < 4 && !eof)
                    continue;
                first = false;
                const auto *u = reinterpret_cast<const unsigned char *>(buf.data());
                if (end >= 3 && u[0] == 0xEF && u[1] == 0xBB && u[2] == 0xBF)
                    begin = 3;
                else if (end >= 2 && ((u[0] == 0xFE && u[1] == 0xFF) || (u[0] == 0xFF && u[1] == 0xFE)))
                    return false; // UTF-16 is not read
            }
            while (begin < end) {
                const char *p = buf.data() + begin;
                const Step step = item(p, buf.data() + end, eof);
                if (step == Step::Bad)
                    return false;
                begin = size_t(p - buf.data());
                if (step == Step::More)
                    break;
                atStart_ = false;
            }
            if (progress_ && !eof)
                progress_(done, total);
        }
        return rootClosed_ && fieldsOk_ && rowdataSeen_;
    }

private:
    enum class Kind { Other, Packet, Metadata, Fields, Field, Rowdata, Row };
    enum class Encoding { Utf8, Latin1 };

    struct Attribute {
        std::string_view name;
        std::string_view raw; // the value as written, when plain
        bool plain = true;    // no reference, no white space to normalise
        bool ascii = true;
        QString text;         // the value, when not plain
    };

    Step item(const char *&p, const char *e, bool eof)
    {
        if (*p != '<')
            return text(p, e, eof);
        if (e - p < 2)
            return eof ? Step::Bad : Step::More;
        switch (p[1]) {
        case '?': return processingInstruction(p, e, eof);
        case '!': return declaration(p, e, eof);
        case '/': return endTag(p, e, eof);
        default: return startTag(p, e, eof);
        }
    }

    // Character data: white space around the root, ignored inside it.
    Step text(const char *&p, const char *e, bool eof)
    {
        const char *lt = static_cast<const char *>(std::memchr(p, '<', size_t(e - p)));
        const char *stop = lt ? lt : e;
        for (const char *c = p; c < stop; ++c) {
            const auto b = static_cast<unsigned char>(*c);
            if (depth_ == 0) {
                if (!isSpace(*c))
                    return Step::Bad;
            } else if (b == '&') {
                char32_t ch;
                const char *r = c;
                const Step s = reference(r, stop, lt ? true : eof, &ch);
                if (s != Step::Done) {
                    p = c;
                    return s;
                }
                c = r - 1;
            } else if (b < 0x20 && !isSpace(*c)) {
                return Step::Bad;
            }
        }
        p = stop;
        return Step::Done;
    }

    Step processingInstruction(const char *&p, const char *e, bool eof)
    {
        const std::string_view rest(p, size_t(e - p));
        const size_t close = rest.find("?>", 2);
        if (close == std::string_view::npos)
            return eof ? Step::Bad : Step::More;
        size_t t = 2;
        while (t < close && isNameByte(p[t]))
            ++t;
        if (equalsIgnoringCase(rest.substr(2, t - 2), "xml")) {
            if (!atStart_ || !declaredEncoding(rest.substr(t, close - t)))
                return Step::Bad;
        }
        p += close + 2;
        return Step::Done;
    }

    bool declaredEncoding(std::string_view decl)
    {
        const size_t at = decl.find("encoding");
        if (at == std::string_view::npos)
            return true;
        size_t i = at + 8;
        while (i < decl.size() && isSpace(decl[i]))
            ++i;
        if (i >= decl.size() || decl[i] != '=')
            return false;
        ++i;
        while (i < decl.size() && isSpace(decl[i]))
            ++i;
        if (i >= decl.size() || (decl[i] != '"' && decl[i] != '\''))
            return false;
        const size_t close = decl.find(decl[i], i + 1);
        if (close == std::string_view::npos)
            return false;
        const std::string_view name = decl.substr(i + 1, close - i - 1);
        for (const char *utf8 : {"UTF-8", "UTF8"})
            if (equalsIgnoringCase(name, utf8))
                return true;
        for (const char *latin1 : {"ISO-8859-1", "ISO8859-1", "LATIN1", "US-ASCII", "ASCII"}) {
            if (equalsIgnoringCase(name, latin1)) {
                encoding_ = Encoding::Latin1;
                return true;
            }
        }
        return false;
    }

    // Comments and CDATA; a DOCTYPE or anything else starting "<!" fails.
    Step declaration(const char *&p, const char *e, bool eof)
    {
        const std::string_view rest(p, size_t(e - p));
        auto skipTo = [&](std::string_view open, std::string_view close) {
            const size_t at = rest.find(close, open.size());
            if (at == std::string_view::npos)
                return eof ? Step::Bad : Step::More;
            p += at + close.size();
            return Step::Done;
        };
        for (const std::string_view open : {std::string_view("<!--"), std::string_view("<![CDATA[")}) {
            if (rest.size() < open.size() && open.substr(0, rest.size()) == rest)
                return eof ? Step::Bad : Step::More;
            if (rest.substr(0, open.size()) == open) {
                if (open[2] == '[' && depth_ == 0)
                    return Step::Bad;
                return skipTo(open, open[2] == '[' ? std::string_view("]]>") : std::string_view("-->"));
            }
        }
        return Step::Bad;
    }

    Step endTag(const char *&p, const char *e, bool eof)
    {
        const char *c = p + 2;
        const char *name = c;
        while (c < e && isNameByte(*c))
            ++c;
        const std::string_view tag(name, size_t(c - name));
        while (c < e && isSpace(*c))
            ++c;
        if (c == e)
            return eof ? Step::Bad : Step::More;
        if (*c != '>' || depth_ == 0 || tag != names_[size_t(depth_)])
            return Step::Bad;
        closeElement();
        p = c + 1;
        return Step::Done;
    }

    Step startTag(const char *&p, const char *e, bool eof)
    {
        const Step more = eof ? Step::Bad : Step::More;
        const char *c = p + 1;
        const char *nameStart = c;
        while (c < e && isNameByte(*c))
            ++c;
        if (c == e)
            return more;
        const std::string_view name(nameStart, size_t(c - nameStart));
        if (name.empty())
            return Step::Bad;
        int count = 0;
        bool empty = false;
        for (;;) {
            const char *gap = c;
            while (c < e && isSpace(*c))
                ++c;
            if (c == e)
                return more;
            if (*c == '>') {
                ++c;
                break;
            }
            if (*c == '/') {
                if (c + 1 == e)
                    return more;
                if (c[1] != '>')
                    return Step::Bad;
                c += 2;
                empty = true;
                break;
            }
            if (c == gap || count == kMaxAttributes)
                return Step::Bad;
            Attribute &a = attributes_[size_t(count)];
            const char *an = c;
            while (c < e && isNameByte(*c))
                ++c;
            a.name = std::string_view(an, size_t(c - an));
            while (c < e && isSpace(*c))
                ++c;
            if (c == e)
                return more;
            if (a.name.empty() || *c != '=')
                return Step::Bad;
            ++c;
            while (c < e && isSpace(*c))
                ++c;
            if (c == e)
                return more;
            const Step s = attributeValue(c, e, eof, a);
            if (s != Step::Done)
                return s;
            for (int k = 0; k < count; ++k)
                if (attributes_[size_t(k)].name == a.name)
                    return Step::Bad;
            ++count;
        }
        if (!openElement(name, count))
            return Step::Bad;
        if (empty)
            closeElement();
        p = c;
        return Step::Done;
    }

    // c at the opening quote.
    Step attributeValue(const char *&c, const char *e, bool eof, Attribute &a)
    {
        const char quote = *c;
        if (quote != '"' && quote != '\'')
            return Step::Bad;
        const char *v = c + 1;
        const char *close = static_cast<const char *>(std::memchr(v, quote, size_t(e - v)));
        if (!close)
            return eof ? Step::Bad : Step::More;
        a.plain = true;
        a.ascii = true;
        for (const char *x = v; x < close; ++x) {
            const auto b = static_cast<unsigned char>(*x);
            if (b < 0x20) {
                if (!isSpace(*x))
                    return Step::Bad;
                a.plain = false;
            } else if (b == '<') {
                return Step::Bad;
            } else if (b == '&') {
                a.plain = false;
            } else if (b >= 0x80) {
                a.ascii = false;
            }
        }
        a.raw = std::string_view(v, size_t(close - v));
        if (!a.plain && !normalise(a))
            return Step::Bad;
        c = close + 1;
        return Step::Done;
    }

    // References resolved, white space as the reader of any XML file sees it.
    bool normalise(Attribute &a)
    {
        a.text.clear();
        const char *x = a.raw.data();
        const char *e = x + a.raw.size();
        const char *run = x;
        auto flushRun = [&](const char *to) {
            QString part;
            if (!decode(run, size_t(to - run), &part))
                return false;
            a.text += part;
            return true;
        };
        while (x < e) {
            if (*x == '&' || *x == '\t' || *x == '\n' || *x == '\r') {
                if (!flushRun(x))
                    return false;
                if (*x == '&') {
                    char32_t ch;
                    if (reference(x, e, true, &ch) != Step::Done)
                        return false;
                    const char32_t one[1] = {ch};
                    a.text += QString::fromUcs4(one, 1);
                } else {
                    if (!(x[0] == '\r' && x + 1 < e && x[1] == '\n'))
                        a.text += u' ';
                    ++x;
                }
                run = x;
            } else {
                ++x;
            }
        }
        return flushRun(e);
    }

    bool decode(const char *p, size_t n, QString *out) const
    {
        bool ascii = true;
        for (size_t i = 0; i < n && ascii; ++i)
            ascii = static_cast<unsigned char>(p[i]) < 0x80;
        if (ascii || encoding_ == Encoding::Latin1) {
            *out = QString::fromLatin1(p, qsizetype(n));
            return true;
        }
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        *out = utf8(QByteArrayView(p, qsizetype(n)));
        return !utf8.hasError();
    }

    bool value(const Attribute &a, TextCache &cache, QString *out) const
    {
        if (!a.plain) {
            *out = a.text;
            return true;
        }
        return cache.text(a.raw.data(), a.raw.size(), out,
                          [this](const char *p, size_t n, QString *t) { return decode(p, n, t); });
    }

    bool openElement(std::string_view name, int count)
    {
        if (rootClosed_ || ++depth_ > kMaxXmlDepth)
            return false;
        names_[size_t(depth_)].assign(name);
        const Kind parent = kinds_[size_t(depth_ - 1)];
        Kind kind = Kind::Other;
        if (depth_ == 1) {
            if (name != "DATAPACKET")
                return false;
            kind = Kind::Packet;
        } else if (parent == Kind::Packet && name == "METADATA") {
            if (metadataSeen_)
                return false;
            metadataSeen_ = true;
            kind = Kind::Metadata;
        } else if (parent == Kind::Packet && name == "ROWDATA") {
            if (!fieldsOk_ || rowdataSeen_)
                return false;
            rowdataSeen_ = true;
            kind = Kind::Rowdata;
        } else if (parent == Kind::Metadata && name == "FIELDS") {
            if (fieldsSeen_)
                return false;
            fieldsSeen_ = true;
            kind = Kind::Fields;
        } else if (parent == Kind::Fields && name == "FIELD") {
            kind = Kind::Field;
            QString field;
            for (int i = 0; i < count; ++i)
                if (attributes_[size_t(i)].name == "attrname" && !value(attributes_[size_t(i)], fieldCache_, &field))
                    return false;
            fieldNames_.append(field);
        } else if (parent == Kind::Rowdata && name == "ROW") {
            kind = Kind::Row;
            if (!takeRow(count))
                return false;
        }
        kinds_[size_t(depth_)] = kind;
        return true;
    }

    void closeElement()
    {
        if (kinds_[size_t(depth_)] == Kind::Fields)
            fieldsOk_ = hasReadingFields();
        if (--depth_ == 0)
            rootClosed_ = true;
    }

    bool hasReadingFields() const
    {
        static const QStringList expected{QStringLiteral("No"), QStringLiteral("Time"),
                                          QStringLiteral("Value"), QStringLiteral("Unit")};
        if (fieldNames_.size() != expected.size())
            return false;
        for (qsizetype i = 0; i < expected.size(); ++i)
            if (fieldNames_[i].compare(expected[i], Qt::CaseInsensitive) != 0)
                return false;
        return true;
    }

    bool takeRow(int count)
    {
        ReadingTable::StoredRow row;
        for (int i = 0; i < count; ++i) {
            const Attribute &a = attributes_[size_t(i)];
            if (a.name == "No") {
                qint32 no = 0;
                if (a.plain) {
                    if (a.raw.empty())
                        continue;
                    if (!parseInt32(a.raw.data(), qsizetype(a.raw.size()), &no))
                        return false;
                } else if (!parseInt32(a.text.utf16(), a.text.size(), &no)) {
                    return false;
                }
                row.no = no;
            } else if (a.name == "Time") {
                if (!textId(0, a, &row.time))
                    return false;
            } else if (a.name == "Value") {
                if (!textId(1, a, &row.value))
                    return false;
            } else if (a.name == "Unit") {
                if (!textId(2, a, &row.unit))
                    return false;
            }
        }
        table_.appendStored(row);
        return true;
    }

    bool textId(int field, const Attribute &a, quint32 *out)
    {
        if (!a.plain) {
            *out = table_.intern(a.text);
            return true;
        }
        return ids_[size_t(field)].id(a.raw.data(), a.raw.size(), out,
                       [this](const char *p, size_t n, QString *t) { return decode(p, n, t); });
    }

    ByteSource &source_;
    const FileProgress &progress_;
    ReadingTable &table_;
    std::array<TextIds, 3> ids_{TextIds(table_), TextIds(table_), TextIds(table_)};
    TextCache fieldCache_;
    std::array<Attribute, kMaxAttributes> attributes_;
    std::array<Kind, kMaxXmlDepth + 1> kinds_{};
    std::array<std::string, kMaxXmlDepth + 1> names_;
    Encoding encoding_ = Encoding::Utf8;
    int depth_ = 0;
    bool atStart_ = true;
    bool metadataSeen_ = false, fieldsSeen_ = false, fieldsOk_ = false;
    bool rowdataSeen_ = false, rootClosed_ = false;
    QStringList fieldNames_;
};

// A text file appends its rows; an XML packet replaces the table only once it was read whole.
bool loadFrom(ByteSource &source, bool xml, ReadingTable &table, const FileProgress &progress)
{
    if (!xml)
        return TextLoader(source, table, progress).run();
    ReadingTable loaded;
    if (!XmlLoader(source, loaded, progress).run())
        return false;
    table.replaceAll(std::move(loaded));
    return true;
}

} // namespace

QByteArray readingFileHeaderLine()
{
    return QByteArray(kHeader);
}

QByteArray readingFileLine(const ReadingRow &row)
{
    QByteArray line(qsizetype(worstCase(row)), Qt::Uninitialized);
    line.truncate(putTextLine(line.data(), row.no, row.time, row.value, row.unit, putTextField) - line.constData());
    return line;
}

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
