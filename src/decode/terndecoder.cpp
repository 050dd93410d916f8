// Tern frames: a segment image of a four-digit display. Positions (from 1) 3-10 hold
// the main digits, rightmost first, two positions per digit; a digit's eight bits read
// d g e f, point, b c a (the point bit belongs to the point after the digit; digit 4
// has none). Positions 19-24 are annunciator bits, 25-30 the second row as plain hex
// characters. Positions past the end of a short (serial, 14-digit) text repeat the
// last one.

#include "decode/decodedframe.h"

namespace sorrel {

namespace {

constexpr std::uint8_t bits8(const char (&text)[9])
{
    std::uint8_t v = 0;
    for (int i = 0; i < 8; ++i)
        v = std::uint8_t(v << 1 | (text[i] == '1'));
    return v;
}

constexpr std::uint8_t kPointBit = 0x08; // pattern bit 5

struct TernPattern {
    char glyph;
    std::uint8_t pointClear, pointSet;
};
constexpr TernPattern kPatterns[] = {
    {'0', bits8("10110111"), bits8("10111111")}, {'1', bits8("00000110"), bits8("00001110")},
    {'2', bits8("11100101"), bits8("11101101")}, {'3', bits8("11000111"), bits8("11001111")},
    {'4', bits8("01010110"), bits8("01011110")}, {'5', bits8("11010011"), bits8("11011011")},
    {'6', bits8("11110011"), bits8("11111011")}, {'7', bits8("00000111"), bits8("00001111")},
    {'8', bits8("11110111"), bits8("11111111")}, {'9', bits8("11010111"), bits8("11011111")},
    {'@', bits8("10110000"), bits8("10111000")}, // the L of an overload
};

// Glyph by pattern; '\0' for a pattern in no row.
constexpr std::array<char, 256> kGlyphByPattern = [] {
    std::array<char, 256> t{};
    for (const TernPattern &p : kPatterns) {
        t[p.pointClear] = p.glyph;
        t[p.pointSet] = p.glyph;
    }
    return t;
}();
constexpr std::uint8_t kLWithPoint = bits8("10111000");

struct TernDigit {
    int firstPosition;      // the second position follows it
    bool pointClearOnly;    // digit 4
    bool refusesLWithPoint; // digits 1 and 2
};
// Digits 1..4 (LcdDa..LcdDd).
constexpr std::array<TernDigit, 4> kDigits{
    {{9, false, true}, {7, false, true}, {5, false, false}, {3, true, false}}};

// Point after digit 1, 2, 3: the weight-8 bit of positions 10, 8, 6.
constexpr std::array<int, 3> kPointPositions{10, 8, 6};
constexpr std::array<Ind, 3> kPoints{Ind::LcdP1, Ind::LcdP2, Ind::LcdP3};

struct TernAnnunciator {
    std::uint8_t bit; // 1-based bit number of the bit text
    Ind id;
    Unit unit;
};
constexpr TernAnnunciator kAnnunciators[] = {
    {73, Ind::LUX, Unit::Lux},      {74, Ind::FC, Unit::Fc},       {75, Ind::CD, Unit::Cd},
    {76, Ind::X10, Unit::X10Lux},   {77, Ind::loadNO, Unit::None}, {78, Ind::FULL, Unit::None},
    {79, Ind::USB, Unit::None},     {80, Ind::power, Unit::None},  {81, Ind::t_p, Unit::None},
    {82, Ind::Z, Unit::None},       {83, Ind::auto_, Unit::None},  {84, Ind::perecent, Unit::None},
    {85, Ind::o1, Unit::None},      {86, Ind::o2, Unit::None},     {87, Ind::o3, Unit::None},
    {88, Ind::o4, Unit::None},      {91, Ind::p_off, Unit::None},  {92, Ind::REC, Unit::None},
    {93, Ind::REL, Unit::None},     {94, Ind::MIN, Unit::None},    {95, Ind::MAX, Unit::None},
    {96, Ind::LCDHold, Unit::None},
};

constexpr int kSecondRowFirst = 25;

bool isDigitGlyph(char g)
{
    return g >= '0' && g <= '9';
}

// The integer formed by glyphs [from, to) joined, blanks skipped; nullopt when they
// form none (all blank, or a letter among them).
std::optional<int> joinedInteger(const std::array<char, 4> &g, int from, int to)
{
    int value = 0;
    bool any = false;
    for (int i = from; i < to; ++i) {
        if (!g[size_t(i)])
            continue;
        if (!isDigitGlyph(g[size_t(i)]))
            return std::nullopt;
        value = value * 10 + (g[size_t(i)] - '0');
        any = true;
    }
    return any ? std::optional<int>(value) : std::nullopt;
}

} // namespace

DecodedFrame LcdDisplayTern(QStringView frameText, const DecodeContext &context)
{
    DecodedFrame f;
    f.family = Family::Tern;

    std::array<std::uint8_t, 32> nib{};
    int previous = 0;
    for (qsizetype k = 0; k < 32; ++k) {
        if (k < frameText.size()) {
            const int v = hexValue(frameText[k].unicode());
            if (v < 0) {
                f.badDigit = frameText[k].unicode();
                return f;
            }
            previous = v;
        }
        nib[size_t(k)] = std::uint8_t(previous);
    }
    auto bit = [&](int p) { return (nib[size_t((p - 1) / 4)] >> (3 - (p - 1) % 4)) & 1; };

    for (size_t d = 0; d < 4; ++d) {
        const TernDigit &digit = kDigits[d];
        const auto pattern = std::uint8_t(nib[size_t(digit.firstPosition - 1)] << 4
                                          | nib[size_t(digit.firstPosition)]);
        char g = kGlyphByPattern[pattern];
        if ((digit.pointClearOnly && (pattern & kPointBit)) || (digit.refusesLWithPoint && pattern == kLWithPoint))
            g = '\0';
        f.glyphs[d] = g;
    }

    f.secondRowCount = 6;
    for (int i = 0; i < 6; ++i) {
        const qsizetype k = kSecondRowFirst - 1 + i;
        f.secondRow[size_t(i)] = k < frameText.size() ? char(frameText[k].unicode()) : '\0';
    }

    std::array<bool, 3> lit{};
    for (size_t i = 0; i < 3; ++i) {
        lit[i] = nib[size_t(kPointPositions[i] - 1)] & 8;
        f.points.push(kPoints[i], lit[i]);
    }

    for (const TernAnnunciator &a : kAnnunciators) {
        const bool on = bit(a.bit);
        f.annunciators.push(a.id, on);
        if (on && a.unit != Unit::None)
            f.unit = a.unit; // the last lit unit bit wins
    }

    f.pointPosition = lit[2] ? 3 : lit[1] ? 2 : lit[0] ? 1 : 0;

    const auto &g = f.glyphs;
    for (size_t i = 0; i < 4; ++i) {
        if (g[i])
            f.value.append(i == 2 && g[i] == '@' ? u'L' : char16_t(g[i]));
        if (i < 3 && lit[i])
            f.value.append(context.decimalSeparator);
    }

    const bool overload = g[2] == '@' && g[1] == '0';
    if (overload) {
        f.reading = float(context.scale.fullScale);
    } else if (const auto n = joinedInteger(g, 0, 4)) {
        f.reading = float(*n);
    } else {
        return f; // no number: the panel shows the frame, nothing more happens
    }

    // Dial and bar, from glyph 3 followed by glyph 2.
    const int n = overload ? 0 : joinedInteger(g, 0, 4).value_or(0);
    if (overload) {
        f.dial = 10 * context.scale.dialSpan;
        f.bar = context.scale.barOverload;
    } else {
        if (!g[2] && !g[1]) {
            // empty pair: the dial stays
        } else if (n > 1) {
            f.dial = joinedInteger(g, 0, 3).value_or(0) + context.scale.dialZero;
        } else {
            const int last = g[3] && isDigitGlyph(g[3]) ? g[3] - '0' : 0;
            if (last < 9)
                f.dial = joinedInteger(g, 1, 4).value_or(0) + context.scale.dialZero;
        }
        f.bar = n > 1 ? n : 1;
    }
    return f;
}

} // namespace sorrel
