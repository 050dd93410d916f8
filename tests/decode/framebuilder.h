#pragma once
// Builds frame texts for tests from what a display shows: glyphs by their segments,
// points and annunciator bits by number. Kept apart from the decoders' tables so a
// wrong table entry shows up as a failing test.

#include <QString>

namespace testframes {

// Segments (a top, b upper right, c lower right, d bottom, e lower left, f upper left,
// g middle) of the glyphs tests use; ' ' is dark, 'g' the middle bar alone.
inline QString segments(QChar glyph)
{
    switch (glyph.unicode()) {
    case '0':
        return "abcdef";
    case '1':
        return "bc";
    case '2':
        return "abdeg";
    case '3':
        return "abcdg";
    case '4':
        return "bcfg";
    case '5':
    case 's':
        return "acdfg";
    case '6':
        return "acdefg";
    case '7':
        return "abc";
    case '8':
        return "abcdefg";
    case '9':
        return "abcdfg";
    case 'L':
        return "def";
    case 'b':
        return "cdefg";
    case 'u':
        return "bcdef";
    case 'g':
        return "g";
    default:
        return "";
    }
}

// Sets bit n (from 1; weight 8 of a digit first) of a hex digit text.
inline void setBit(QString &text, int n)
{
    const int pos = (n - 1) / 4;
    const int weight = 8 >> ((n - 1) % 4);
    const int v = QString(text[pos]).toInt(nullptr, 16) | weight;
    text[pos] = QString::number(v, 16).toUpper()[0];
}

// Writes eight bits, named by `order` ('p' the point), as two hex digits at index at.
inline void putByte(QString &text, int at, const char *order, const QString &segs, bool point)
{
    int v = 0;
    for (int i = 0; i < 8; ++i) {
        const QChar s = QLatin1Char(order[i]);
        const bool on = s == u'p' ? point : segs.contains(s);
        v = v << 1 | (on ? 1 : 0);
    }
    const QString hex = QStringLiteral("%1").arg(v, 2, 16, QLatin1Char('0')).toUpper();
    text[at] = hex[0];
    text[at + 1] = hex[1];
}

// A 32-digit Tern frame as the USB links bring it (second digit 0, tail DA).
class TernFrame {
public:
    TernFrame() : t_(32, u'0')
    {
        t_[30] = u'D';
        t_[31] = u'A';
    }
    // Main digits left to right (LcdDa..LcdDd).
    TernFrame &digits(const QString &glyphs)
    {
        for (int n = 1; n <= 4; ++n)
            putByte(t_, 11 - 2 * n - 1, "dgefpbca", segments(glyphs[n - 1]), false);
        return *this;
    }
    // The point bit after digit n (n = 4: the bit digit 4 carries but has no point for).
    TernFrame &point(int n)
    {
        setBit(t_, 4 * (12 - 2 * n - 1) + 1);
        return *this;
    }
    TernFrame &bit(int n)
    {
        setBit(t_, n);
        return *this;
    }
    TernFrame &pos(int p, QChar c)
    {
        t_[p - 1] = c;
        return *this;
    }
    QString text() const { return t_; }
    QString first(int n) const { return t_.left(n); }

private:
    QString t_;
};

// A 32-digit Wren frame: cells 1-4 the main row from the right, 5-8 the second row.
class WrenFrame {
public:
    WrenFrame() : t_(32, u'0') { t_[1] = u'3'; }
    // Main row left to right (cells 4, 3, 2, 1).
    WrenFrame &main(const QString &glyphs)
    {
        for (int i = 0; i < 4; ++i)
            cell(4 - i, glyphs[i]);
        return *this;
    }
    // Second row left to right (cells 8, 7, 6, 5).
    WrenFrame &second(const QString &glyphs)
    {
        for (int i = 0; i < 4; ++i)
            cell(8 - i, glyphs[i]);
        return *this;
    }
    WrenFrame &cell(int n, QChar glyph)
    {
        const bool p = point_[n];
        putByte(t_, 2 * n, "abcpfged", segments(glyph), p);
        glyph_[n] = glyph;
        return *this;
    }
    WrenFrame &cellPoint(int n)
    {
        point_[n] = true;
        return cell(n, glyph_[n]);
    }
    WrenFrame &bit(int n)
    {
        setBit(t_, n);
        return *this;
    }
    QString text() const { return t_; }

private:
    QString t_;
    QChar glyph_[9] = {u' ', u' ', u' ', u' ', u' ', u' ', u' ', u' ', u' '};
    bool point_[9] = {};
};

} // namespace testframes
