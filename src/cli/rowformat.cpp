#include "cli/rowformat.h"

#include <QFileInfo>

#include <array>
#include <charconv>
#include <cstdio>

namespace sorrel::cli {

namespace {

QByteArray numberText(double d)
{
    std::array<char, 32> buf{};
    const auto r = std::to_chars(buf.data(), buf.data() + buf.size(), d);
    return QByteArray(buf.data(), r.ptr - buf.data());
}

const char *verdictName(Verdict v)
{
    return v == Verdict::None ? nullptr : verdictText(v);
}

void appendCsvField(QByteArray &out, const QByteArray &field)
{
    if (field.contains(',') || field.contains('"') || field.contains('\r') || field.contains('\n')) {
        QByteArray quoted = field;
        quoted.replace('"', "\"\"");
        out += '"' + quoted + '"';
    } else {
        out += field;
    }
}

// Text already UTF-8: only quotes, backslashes and control characters need escapes.
void appendJsonString(QByteArray &out, const QByteArray &utf8)
{
    out += '"';
    for (const char ch : utf8) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c < 0x20) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", unsigned(c));
            out += esc;
        } else {
            out += ch;
        }
    }
    out += '"';
}

// The fields of a row in output order.
struct Field {
    const char *name;
    std::optional<QByteArray> text; // none: JSON null, an empty CSV field
    bool quoted;                    // a JSON string
};

std::array<Field, 8> fields(const StreamRow &r)
{
    const std::optional<double> reading = readingNumber(r.row.value, r.decimalSeparator);
    const char *verdict = verdictName(r.verdict);
    return {{
        {"no", r.row.no ? std::optional(QByteArray::number(*r.row.no)) : std::nullopt, false},
        {"timestamp", r.recorded ? std::optional(isoTimestamp(*r.recorded)) : std::nullopt, true},
        {"time", r.row.time.toUtf8(), true},
        {"value", r.row.value.toUtf8(), true},
        {"reading", reading ? std::optional(numberText(*reading)) : std::nullopt, false},
        {"unit", r.row.unit.toUtf8(), true},
        {"verdict", verdict ? std::optional(QByteArray(verdict)) : std::nullopt, true},
        {"source", r.source.isEmpty() ? std::nullopt : std::optional(r.source.toUtf8()), true},
    }};
}

} // namespace

std::optional<OutputFormat> outputFormatFromName(const QString &name)
{
    if (name == u"tsv")
        return OutputFormat::Tsv;
    if (name == u"xml")
        return OutputFormat::Xml;
    if (name == u"csv")
        return OutputFormat::Csv;
    if (name == u"jsonl")
        return OutputFormat::Jsonl;
    return std::nullopt;
}

OutputFormat outputFormatFor(const QString &target)
{
    if (target == u"-")
        return OutputFormat::Jsonl;
    const QString ext = QFileInfo(target).suffix().toLower();
    if (ext == u"xml")
        return OutputFormat::Xml;
    if (ext == u"csv")
        return OutputFormat::Csv;
    if (ext == u"jsonl" || ext == u"ndjson")
        return OutputFormat::Jsonl;
    return OutputFormat::Tsv;
}

std::optional<double> readingNumber(const QString &value, const QString &decimalSeparator)
{
    QString t = value.trimmed();
    if (!decimalSeparator.isEmpty() && decimalSeparator != u".")
        t.replace(decimalSeparator, QStringLiteral("."));
    qsizetype i = (t.startsWith(u'-') || t.startsWith(u'+')) ? 1 : 0;
    int digits = 0, points = 0;
    for (; i < t.size(); ++i) {
        if (t[i] >= u'0' && t[i] <= u'9')
            ++digits;
        else if (t[i] == u'.' && ++points == 1)
            continue;
        else
            return std::nullopt;
    }
    if (digits == 0)
        return std::nullopt;
    bool ok = false;
    const double d = t.toDouble(&ok);
    return ok ? std::optional<double>(d) : std::nullopt;
}

QByteArray isoTimestamp(const QDateTime &when)
{
    const QDate d = when.date();
    const QTime t = when.time();
    const int offset = when.offsetFromUtc() / 60;
    const int a = offset < 0 ? -offset : offset;
    char buf[40];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02d:%02d", d.year(), d.month(), d.day(),
                  t.hour(), t.minute(), t.second(), t.msec(), offset < 0 ? '-' : '+', a / 60, a % 60);
    return QByteArray(buf);
}

QByteArray csvHeaderLine()
{
    return QByteArrayLiteral("no,timestamp,time,value,reading,unit,verdict,source\r\n");
}

QByteArray csvLine(const StreamRow &row)
{
    QByteArray out;
    bool first = true;
    for (const Field &f : fields(row)) {
        if (!first)
            out += ',';
        first = false;
        appendCsvField(out, f.text.value_or(QByteArray()));
    }
    out += "\r\n";
    return out;
}

QByteArray jsonObject(const StreamRow &row)
{
    QByteArray out;
    out.reserve(192);
    out += '{';
    bool first = true;
    for (const Field &f : fields(row)) {
        if (!first)
            out += ',';
        first = false;
        out += '"';
        out += f.name;
        out += "\":";
        if (!f.text)
            out += "null";
        else if (f.quoted)
            appendJsonString(out, *f.text);
        else
            out += *f.text;
    }
    out += '}';
    return out;
}

} // namespace sorrel::cli
