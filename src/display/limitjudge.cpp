#include "display/limitjudge.h"

#include <charconv>

namespace sorrel {

namespace {

bool isBlank(QChar c)
{
    return c.unicode() <= u' ';
}

bool isEntryInProgress(QStringView t)
{
    if (t == u"-" || t == u"+")
        return true;
    for (QChar c : t)
        if (!isBlank(c))
            return false;
    return true;
}

} // namespace

const char *verdictText(Verdict v)
{
    switch (v) {
    case Verdict::None:
        return "";
    case Verdict::Pass:
        return "Pass";
    case Verdict::Fail:
        return "Fail";
    }
    return "";
}

double readLimitNumber(QStringView text, QStringView sep)
{
    // Copy into plain ASCII with '.' as the point, checking the form on the way.
    char buf[64];
    int n = 0;
    qsizetype i = 0;
    const qsizetype end = text.size();
    auto put = [&](char c) {
        if (n >= int(sizeof buf) - 1)
            return false;
        buf[n++] = c;
        return true;
    };
    while (i < end && isBlank(text[i]))
        ++i;
    if (i < end && (text[i] == u'+' || text[i] == u'-')) {
        if (text[i] == u'-')
            put('-');
        ++i;
    }
    int mantissaDigits = 0;
    bool point = false;
    while (i < end) {
        const QChar c = text[i];
        if (c >= u'0' && c <= u'9') {
            if (!put(char(c.unicode())))
                return kNotANumber;
            ++mantissaDigits;
            ++i;
        } else if (!point && !sep.isEmpty() && text.sliced(i).startsWith(sep)) {
            point = true;
            put('.');
            i += sep.size();
        } else {
            break;
        }
    }
    if (mantissaDigits == 0)
        return kNotANumber;
    if (i < end && (text[i] == u'e' || text[i] == u'E')) {
        put('e');
        ++i;
        if (i < end && (text[i] == u'+' || text[i] == u'-'))
            put(char(text[i++].unicode()));
        int expDigits = 0;
        while (i < end && text[i] >= u'0' && text[i] <= u'9') {
            if (!put(char(text[i++].unicode())))
                return kNotANumber;
            ++expDigits;
        }
        if (expDigits == 0)
            return kNotANumber;
    }
    while (i < end && isBlank(text[i]))
        ++i;
    if (i != end)
        return kNotANumber;
    double v = 0;
    const auto r = std::from_chars(buf, buf + n, v);
    if (r.ec != std::errc() || r.ptr != buf + n)
        return kNotANumber; // out of range
    return v;
}

LimitJudge::LimitJudge(QString decimalSeparator) : separator_(std::move(decimalSeparator))
{
    // The layout's texts; they never went through the change rule.
    setText(high_, QStringLiteral("6000"));
    setText(low_, QStringLiteral("-6000"));
}

void LimitJudge::startUp(const Profile &profile, Notifier &notifier)
{
    if (profile.highText)
        change(LimitBox::High, *profile.highText, notifier);
    if (profile.lowText)
        change(LimitBox::Low, *profile.lowText, notifier);
}

void LimitJudge::setText(Slot &s, const QString &text)
{
    s.text = text;
    s.number = readLimitNumber(text, separator_);
}

bool LimitJudge::acceptsKey(LimitBox box, QChar key) const
{
    const QChar sepFirst = separator_.isEmpty() ? QChar() : separator_.front();
    if (!sepFirst.isNull() && key == sepFirst && slot(box).text.contains(separator_))
        return false;
    const char16_t k = key.unicode();
    return k == 8 || k == u'\'' || k == u'+' || k == u'-' || k == u'.' || (k >= u'0' && k <= u'9') || k == u'`'
           || (!sepFirst.isNull() && key == sepFirst);
}

LimitJudge::Change LimitJudge::change(LimitBox box, const QString &text, Notifier &notifier)
{
    Slot &s = slot(box);
    setText(s, text);
    if (isEntryInProgress(text))
        return Change::InProgress;
    Change result = Change::Accepted;
    if (s.number == kNotANumber) {
        notifier.error(QStringLiteral("Numerical input errors"));
        // The last accepted text is a number or empty, so putting it back passes.
        setText(s, s.lastAccepted);
        result = Change::Refused;
    }
    s.lastAccepted = s.text;
    return result;
}

bool LimitJudge::leave(LimitBox box)
{
    Slot &s = slot(box);
    if (!isEntryInProgress(s.text))
        return false;
    setText(s, s.lastAccepted);
    return true;
}

std::optional<Verdict> LimitJudge::judge()
{
    if (high_.number == kNotANumber || low_.number == kNotANumber)
        return std::nullopt;
    const double v = readLimitNumber(value_, separator_);
    const bool pass = v != kNotANumber && low_.number <= v && v <= high_.number;
    verdict_ = pass ? Verdict::Pass : Verdict::Fail;
    return verdict_;
}

} // namespace sorrel
