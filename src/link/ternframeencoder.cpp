#include "link/ternframeencoder.h"

namespace sorrel {

namespace {

// Segment bits within a pattern.
constexpr quint8 kD = 0x80, kG = 0x40, kE = 0x20, kF = 0x10, kDp = 0x08, kB = 0x04, kC = 0x02, kA = 0x01;

quint8 segments(char glyph)
{
    switch (glyph) {
    case '0':
        return kA | kB | kC | kD | kE | kF;
    case '1':
        return kB | kC;
    case '2':
        return kA | kB | kD | kE | kG;
    case '3':
        return kA | kB | kC | kD | kG;
    case '4':
        return kB | kC | kF | kG;
    case '5':
        return kA | kC | kD | kF | kG;
    case '6':
        return kA | kC | kD | kE | kF | kG;
    case '7':
        return kA | kB | kC;
    case '8':
        return kA | kB | kC | kD | kE | kF | kG;
    case '9':
        return kA | kB | kC | kD | kF | kG;
    case 'L':
        return kD | kE | kF;
    default:
        return 0;
    }
}

bool isGlyph(QChar c)
{
    return c == u' ' || c == u'L' || (c >= u'0' && c <= u'9');
}

// Frame positions 1..32 as low digits.
std::array<quint8, 32> positions(const TernDisplay &d)
{
    std::array<quint8, 32> p{};
    // Digit 4 sits at positions 3-4, digit 1 at 9-10; digit 4 has no point.
    for (int digit = 1; digit <= 4; ++digit) {
        const bool point = digit < 4 && d.point == digit;
        const quint8 pattern = ternSegmentPattern(d.glyphs[size_t(digit - 1)], point);
        const int first = 3 + 2 * (4 - digit); // 1-based position of bits 1-4
        p[size_t(first - 1)] = pattern >> 4;
        p[size_t(first)] = pattern & 0x0F;
    }
    for (int bit = 73; bit <= 96; ++bit) {
        if (!(d.annunciators & (1u << (bit - 73))))
            continue;
        const int pos = (bit + 3) / 4;
        const int weight = 8 >> ((bit - 1) % 4);
        p[size_t(pos - 1)] |= quint8(weight);
    }
    for (int i = 0; i < 6; ++i)
        p[size_t(24 + i)] = d.secondRow[size_t(i)] & 0x0F;
    p[30] = 0x0D;
    p[31] = 0x0A;
    return p;
}

} // namespace

void TernDisplay::set(TernBit bit, bool on)
{
    const quint32 mask = 1u << (int(bit) - 73);
    annunciators = on ? annunciators | mask : annunciators & ~mask;
}

bool TernDisplay::has(TernBit bit) const
{
    return annunciators & (1u << (int(bit) - 73));
}

std::optional<TernDisplay> TernDisplay::fromText(const QString &text)
{
    QString glyphs;
    int pointAfter = 0; // count of glyphs before the point
    for (QChar c : text) {
        if (c == u'.') {
            if (pointAfter || glyphs.isEmpty())
                return std::nullopt;
            pointAfter = int(glyphs.size());
        } else if (isGlyph(c)) {
            glyphs.append(c);
        } else {
            return std::nullopt;
        }
    }
    if (glyphs.isEmpty() || glyphs.size() > 4)
        return std::nullopt;
    const int pad = 4 - int(glyphs.size());
    TernDisplay d;
    for (int i = 0; i < glyphs.size(); ++i)
        d.glyphs[size_t(pad + i)] = char(glyphs.at(i).unicode());
    if (pointAfter) {
        d.point = pad + pointAfter;
        if (d.point > 3)
            return std::nullopt;
    }
    return d;
}

QString TernDisplay::text() const
{
    QString t;
    for (int i = 0; i < 4; ++i) {
        t.append(QLatin1Char(glyphs[size_t(i)]));
        if (point == i + 1)
            t.append(u'.');
    }
    return t;
}

quint8 ternSegmentPattern(char glyph, bool point)
{
    const quint8 s = segments(glyph);
    if (!s)
        return point ? kDp : 0;
    return point ? quint8(s | kDp) : s;
}

QByteArray encodeTernBridgeFrame(const TernDisplay &display)
{
    const std::array<quint8, 32> p = positions(display);
    QByteArray frame(32, Qt::Uninitialized);
    for (int i = 0; i < 32; ++i)
        frame[i] = char(p[size_t(i)]);
    return frame;
}

QByteArray encodeTernSerialFrame(const TernDisplay &display)
{
    const std::array<quint8, 32> p = positions(display);
    QByteArray frame(14, Qt::Uninitialized);
    for (int i = 0; i < 14; ++i)
        frame[i] = char(((i + 1) << 4) | p[size_t(i)]);
    return frame;
}

} // namespace sorrel
