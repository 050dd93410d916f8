// The tab-separated reading file: a header line, then "No<TAB>Time<TAB>Value<TAB>Unit"
// and CRLF a row, texts in the local 8-bit encoding, an empty text written as NULL.
// Bounds: a written row fits kRowRoom (rowencoding.h); a loaded line is at most kMaxLine
// bytes, far above the hundred a saved row takes, so a file without line ends fails
// instead of filling memory. Every token handed to TextIds lies in the read buffer or in
// an unquoting buffer, each with kPad readable bytes past its end.

#include "record/readingtextformat.h"

#include "record/chunkreader.h"
#include "record/rowencoding.h"
#include "record/textids.h"

#include <array>
#include <optional>

namespace sorrel {

using namespace readingfile;

namespace {

constexpr size_t kMaxLine = size_t(1) << 20;

const char kHeader[] = "No\tTime\tValue\tUnit\r\n";

// Text field: blanks and control characters trimmed, empty written as NULL.
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

// Room the line of a row takes at most.
size_t worstCase(const ReadingRow &r)
{
    return kRowFrame + kBytesPerUnit * size_t(r.time.size() + r.value.size() + r.unit.size());
}

// One line of the file; field writes one text field.
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

struct Token {
    const char *data = nullptr;
    size_t size = 0;
};

class TextLoader {
public:
    explicit TextLoader(ReadingTable &table) : table_(table), ids_{TextIds(table), TextIds(table), TextIds(table)}
    {}

    // Parses the whole lines of [p, e); returns where the unfinished one starts.
    const char *consume(const char *p, const char *e, bool eof)
    {
        bool headerSeen = headerSeen_; // a member would be reloaded after every row stored
        while (p < e) {
            const Line step = headerSeen ? line(p, e, eof) : skipLine(p, e, eof);
            if (step == Line::Bad)
                return nullptr;
            if (step == Line::More)
                break;
            headerSeen = true;
        }
        headerSeen_ = headerSeen;
        return p;
    }

private:
    enum class Line { Done, More, Bad };

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

    static Line skipLine(const char *&p, const char *e, bool eof) { return lineEnd(p, findLineEnd(p, e), e, eof); }

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
                if (!quoted(p, e, eof, size_t(n)))
                    return Line::More;
            } else {
                const char *start = p;
                while (p<e &&static_cast<unsigned char>(*p)> 32)
                    ++p;
                tokens_[size_t(n)] = {start, size_t(p - start)};
            }
            ++n;
        }
        if (lineEnd(pos, p, e, eof) == Line::More)
            return Line::More;
        return n == 0 || store(n) ? Line::Done : Line::Bad;
    }

    // p at the opening quote; false when the token runs past the bytes read so far.
    bool quoted(const char *&p, const char *e, bool eof, size_t n)
    {
        std::vector<char> &s = unquoted_[n];
        s.clear();
        ++p;
        for (;;) {
            const char *run = p;
            while (p < e && *p != '"' && *p != '\r' && *p != '\n' && *p != 0)
                ++p;
            s.insert(s.end(), run, p);
            if (p == e && !eof)
                return false;
            if (p == e || *p != '"')
                break; // unterminated: the rest of the line
            ++p;
            if (p == e && !eof)
                return false;
            if (p < e && *p == '"') {
                s.push_back('"');
                ++p;
                continue;
            }
            break;
        }
        const size_t size = s.size();
        s.resize(size + kPad);
        tokens_[n] = {s.data(), size};
        return true;
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
            ids_[size_t(i - 1)].id(tokens_[size_t(i)].data, tokens_[size_t(i)].size, fields[i - 1],
                                   decodeLocal8Bit);
        table_.appendStored(row);
        return true;
    }

    ReadingTable &table_;
    std::array<TextIds, 3> ids_;
    std::array<Token, 4> tokens_;
    std::array<std::vector<char>, 4> unquoted_;
    bool headerSeen_ = false;
};

} // namespace

namespace readingfile {

bool writeText(const ReadingTable &table, ReplacingFile &file, const FileProgress &progress)
{
    BufferedWriter out(file);
    EncodedTexts texts(table, putTextField);
    return out.append(kHeader) && forEachRow(table, out, progress, [&](char *d, const ReadingTable::StoredRow &r) {
               return putTextLine(d, r.no, texts(r.time), texts(r.value), texts(r.unit), putEncoded);
           });
}

bool loadText(ByteSource &source, ReadingTable &table, const FileProgress &progress)
{
    // The grid hears of the new rows once, at the end.
    const ReadingTable::Batch batch(table);
    TextLoader loader(table);
    return readChunks(source, kMaxLine, progress,
                      [&](const char *p, const char *e, bool eof) { return loader.consume(p, e, eof); })
           > 0;
}

} // namespace readingfile

QByteArray readingFileHeaderLine()
{
    return QByteArray(kHeader);
}

QByteArray readingFileLine(const ReadingRow &row)
{
    QByteArray line(qsizetype(worstCase(row)), Qt::Uninitialized);
    line.truncate(putTextLine(line.data(), row.no, row.time, row.value, row.unit, putTextField)
                  - line.constData());
    return line;
}

} // namespace sorrel
