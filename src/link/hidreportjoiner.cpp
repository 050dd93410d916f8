#include "link/hidreportjoiner.h"

namespace sorrel {

namespace {

bool isHexDigit(QChar c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F');
}

void appendHex(QString &out, quint8 byte)
{
    static const char digits[] = "0123456789ABCDEF";
    out.append(QLatin1Char(digits[byte >> 4]));
    out.append(QLatin1Char(digits[byte & 0x0F]));
}

} // namespace

QString HidReportJoiner::reportLine(quint8 reportId, QByteArrayView data)
{
    QString line;
    line.reserve(6 + 3 * data.size());
    line.append(u"R ");
    appendHex(line, reportId);
    line.append(u"  ");
    for (char b : data) {
        appendHex(line, quint8(b));
        line.append(u' ');
    }
    return line;
}

HidReportOutcome HidReportJoiner::handle(quint8 reportId, QByteArrayView data)
{
    HidReportOutcome out;
    out.line = reportLine(reportId, data);
    // Character 8 of the line (index 7) is the low digit of data byte 0, the count.
    const QChar c = out.line.size() > 7 ? out.line.at(7) : QChar();
    if (isHexDigit(c))
        ++idle_;
    if (c >= u'1' && c <= u'9') {
        idle_ = 0;
        pending_ = true;
        const int n = c.unicode() - u'0';
        for (int k = 1; k <= n; ++k) {
            // Payload byte k sits at characters 7 + 3k and 8 + 3k (1-based).
            const qsizetype at = 6 + 3 * k;
            if (at + 2 > out.line.size())
                break;
            if (byteText_.size() < 2 * kMaxBytePairs)
                byteText_.append(out.line.mid(at, 2));
        }
        out.payload = true;
        return out;
    }
    if (pending_) {
        QString frame;
        for (qsizetype i = 1; i < byteText_.size() && frame.size() < kMaxBytePairs; i += 2)
            frame.append(byteText_.at(i));
        out.frame = frame;
        byteText_.clear();
    }
    pending_ = false;
    return out;
}

} // namespace sorrel
