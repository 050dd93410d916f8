#include "decode/hidburstjoiner.h"

#include "decode/decodedframe.h"

namespace sorrel {

namespace {
void appendHex(QString &s, quint8 b)
{
    s += QLatin1Char(kHexDigits[b >> 4]);
    s += QLatin1Char(kHexDigits[b & 0x0f]);
}
} // namespace

void HidBurstJoiner::clear()
{
    byteText_.clear();
    pending_ = false;
}

HidBurstJoiner::Report HidBurstJoiner::feed(quint8 reportId, QByteArrayView data)
{
    Report r;
    r.line.reserve(6 + 3 * int(data.size()));
    r.line += QStringLiteral("R ");
    appendHex(r.line, reportId);
    r.line += QStringLiteral("  ");
    for (char b : data) {
        appendHex(r.line, quint8(b));
        r.line += u' ';
    }

    // The 8th character of the line: the low digit of the count byte.
    const QChar c = r.line.size() > 7 ? r.line[7] : QChar();
    if (!c.isNull() && hexValue(c.unicode()) >= 0)
        ++idle_;
    if (c >= u'1' && c <= u'9') {
        idle_ = 0;
        pending_ = true;
        const int count = c.unicode() - u'0';
        for (int k = 1; k <= count; ++k) {
            const qsizetype at = 6 + 3 * k; // characters 7+3k and 8+3k, counted from 1
            if (at + 1 >= r.line.size())
                break; // the report is shorter than its count
            if (byteText_.size() < 2 * kMaxPairs)
                byteText_ += r.line.mid(at, 2);
        }
        r.payload = true;
        return r;
    }
    if (pending_) {
        QString frame;
        frame.reserve(kMaxPairs);
        for (qsizetype i = 1; i < byteText_.size() && frame.size() < kMaxPairs; i += 2)
            frame += byteText_[i];
        r.frameText = frame;
        byteText_.clear();
    }
    pending_ = false;
    return r;
}

} // namespace sorrel
