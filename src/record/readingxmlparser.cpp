// The reader of the XML data packet: strict, for the packet and nothing more: UTF-8
// (Latin-1 when declared), no DTD at all (so no entities beyond the five predefined ones
// and character references); what it does not understand fails the load. It reads into a
// table of its own, which the caller puts in place only once the whole file was read.
// Bounds: one piece of markup is at most kMaxXmlToken bytes, nesting at most kMaxXmlDepth,
// an element has at most kMaxAttributes attributes, so a hostile file costs bounded
// memory; a reference is at most kLongestReference bytes, so looking for its end never runs
// past what was read. Attribute values handed to TextIds lie in the read buffer, which has
// kPad readable bytes past its end.

#include "record/readingxmlformat.h"

#include "record/chunkreader.h"
#include "record/rowencoding.h"
#include "record/textids.h"

#include <QStringDecoder>
#include <QStringList>

#include <array>
#include <cctype>
#include <charconv>
#include <string>
#include <string_view>

namespace sorrel {

using namespace readingfile;

namespace {

constexpr size_t kMaxXmlToken = 4 << 20;
constexpr int kMaxXmlDepth = 32;
constexpr int kMaxAttributes = 32;
// The longest reference read: the highest code point with its leading zeros.
constexpr ptrdiff_t kLongestReference = sizeof("&#x0010FFFF;") - 1;

enum class Step { Done, More, Bad };

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool isNameByte(char c)
{
    const auto b = static_cast<unsigned char>(c);
    return b > 0x20 && b != '=' && b != '/' && b != '>' && b != '<' && b != '"' && b != '\'' && b != '&'
           && b != '?' && b != '!';
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
    const char *semi = static_cast<const char *>(std::memchr(p, ';', size_t(std::min(e - p, kLongestReference))));
    if (!semi)
        return e - p < kLongestReference && !eof ? Step::More : Step::Bad;
    const std::string_view name(p + 1, size_t(semi - p - 1));
    if (name == "lt")
        *out = '<';
    else if (name == "gt")
        *out = '>';
    else if (name == "amp")
        *out = '&';
    else if (name == "quot")
        *out = '"';
    else if (name == "apos")
        *out = '\'';
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
    explicit XmlLoader(ReadingTable &table) : table_(table) {}

    // Parses the whole pieces of [p, e); returns where the unfinished one starts.
    const char *consume(const char *p, const char *e, bool eof)
    {
        if (first_) {
            if (e - p < 4 && !eof)
                return p;
            first_ = false;
            const auto *u = reinterpret_cast<const unsigned char *>(p);
            if (e - p >= 3 && u[0] == 0xEF && u[1] == 0xBB && u[2] == 0xBF)
                p += 3;
            else if (e - p >= 2 && ((u[0] == 0xFE && u[1] == 0xFF) || (u[0] == 0xFF && u[1] == 0xFE)))
                return nullptr; // UTF-16 is not read
        }
        while (p < e) {
            const Step step = item(p, e, eof);
            if (step == Step::Bad)
                return nullptr;
            if (step == Step::More)
                break;
            atStart_ = false;
        }
        return p;
    }

    bool complete() const { return rootClosed_ && fieldsOk_ && rowdataSeen_; }

private:
    enum class Kind { Other, Packet, Metadata, Fields, Field, Rowdata, Row };
    enum class Encoding { Utf8, Latin1 };

    struct Attribute {
        std::string_view name;
        std::string_view raw; // the value as written, when plain
        bool plain = true;    // no reference, no white space to normalise
        bool ascii = true;
        QString text; // the value, when not plain
    };

    Step item(const char *&p, const char *e, bool eof)
    {
        if (*p != '<')
            return text(p, e, eof);
        if (e - p < 2)
            return eof ? Step::Bad : Step::More;
        switch (p[1]) {
        case '?':
            return processingInstruction(p, e, eof);
        case '!':
            return declaration(p, e, eof);
        case '/':
            return endTag(p, e, eof);
        default:
            return startTag(p, e, eof);
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
                if (attributes_[size_t(i)].name == "attrname"
                    && !value(attributes_[size_t(i)], fieldCache_, &field))
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
        static const QStringList expected{QStringLiteral("No"), QStringLiteral("Time"), QStringLiteral("Value"),
                                          QStringLiteral("Unit")};
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

    ReadingTable &table_;
    std::array<TextIds, 3> ids_{TextIds(table_), TextIds(table_), TextIds(table_)};
    TextCache fieldCache_;
    std::array<Attribute, kMaxAttributes> attributes_;
    std::array<Kind, kMaxXmlDepth + 1> kinds_{};
    std::array<std::string, kMaxXmlDepth + 1> names_;
    Encoding encoding_ = Encoding::Utf8;
    int depth_ = 0;
    bool first_ = true, atStart_ = true;
    bool metadataSeen_ = false, fieldsSeen_ = false, fieldsOk_ = false;
    bool rowdataSeen_ = false, rootClosed_ = false;
    QStringList fieldNames_;
};

} // namespace

namespace readingfile {

bool loadXml(ByteSource &source, ReadingTable &table, const FileProgress &progress)
{
    // One rowsAppended at the end, not one a row.
    const ReadingTable::Batch batch(table);
    XmlLoader loader(table);
    return readChunks(source, kMaxXmlToken, progress,
                      [&](const char *p, const char *e, bool eof) { return loader.consume(p, e, eof); })
               >= 0
           && loader.complete();
}

} // namespace readingfile
} // namespace sorrel
