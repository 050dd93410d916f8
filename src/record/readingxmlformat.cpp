// The XML data packet as written: the declaration, a METADATA naming the fields No, Time,
// Value and Unit, then in ROWDATA one empty ROW element a row, each field with a value as
// an attribute, CRLF after every element. Texts go out in the local 8-bit encoding, with
// the predefined references where markup needs them. Bounds: a value encodes to at most kBytesPerUnit
// bytes a UTF-16 unit ("&quot;"), so a row fits kRowRoom (rowencoding.h).

#include "record/readingxmlformat.h"

#include "record/rowencoding.h"

namespace sorrel {

using namespace readingfile;

namespace {

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
            case u'<':
                d = put(d, "&lt;", 4);
                break;
            case u'>':
                d = put(d, "&gt;", 4);
                break;
            case u'&':
                d = put(d, "&amp;", 5);
                break;
            case u'"':
                d = put(d, "&quot;", 6);
                break;
            case u'\'':
                d = put(d, "&apos;", 6);
                break;
            default:
                *d++ = char(c);
            }
            continue;
        }
        if (c == u'\t') {
            d = put(d, "&#9;", 4);
            continue;
        }
        if (c == u'\n') {
            d = put(d, "&#10;", 5);
            continue;
        }
        if (c == u'\r') {
            d = put(d, "&#13;", 5);
            continue;
        }
        if (c < 0x20) {
            d = put(d, "\xEF\xBF\xBD", 3);
            continue;
        }
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

} // namespace

namespace readingfile {

bool writeXml(const ReadingTable &table, ReplacingFile &file, const FileProgress &progress)
{
    BufferedWriter out(file);
    const bool head = out.append("<?xml version=\"1.0\" standalone=\"yes\"?>\r\n"
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

} // namespace readingfile
} // namespace sorrel
