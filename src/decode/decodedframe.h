#pragma once
// What a decoder makes of one frame text: pure data, applied to the panel and the
// reading state in one place (MeterSession).

#include "base/lcdpanelstate.h"
#include "base/profile.h"

#include <QString>
#include <QStringView>
#include <array>
#include <cstdint>
#include <optional>

namespace sorrel {

enum class Family : std::uint8_t { Tern, Wren, Rook };
const char *familyName(Family family); // "tern", "wren", "rook"

// Value of an upper-case hexadecimal digit, -1 for anything else.
constexpr int hexValue(char16_t c)
{
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}
inline constexpr char kHexDigits[] = "0123456789ABCDEF";

struct IndicatorBit {
    Ind id;
    bool on;
};

// A short list of indicator settings, in the order a decoder makes them.
template <int N>
struct IndicatorBits {
    std::array<IndicatorBit, N> items{};
    std::uint8_t size = 0;
    constexpr void push(Ind id, bool on) { items[size++] = {id, on}; }
    constexpr const IndicatorBit *begin() const { return items.data(); }
    constexpr const IndicatorBit *end() const { return items.data() + size; }
    std::optional<bool> find(Ind id) const
    {
        for (const IndicatorBit &b : *this)
            if (b.id == id)
                return b.on;
        return std::nullopt;
    }
};

// Unit texts a frame can select; index 0 is the empty unit.
enum class Unit : std::uint8_t {
    None,
    Lux,
    Fc,
    Cd,
    X10Lux,
    Cmm,
    Cfm,
    Ms,
    Knots,
    FtMin,
    Mph,
    X1,
    Kmh,
    X10,
    X100,
    Count
};
inline constexpr std::array<const char *, size_t(Unit::Count)> kUnitTexts{
    "", "lux", "fc", "cd", "X10-lux", "CMM", "CFM", "m|s", "Knots", "ft|min", "MPH", "x1", "Km|h", "X10", "X100",
};
const QString &unitText(Unit unit); // shared instances: no allocation per frame

// The reading as the display shows it, kept in place so a frame costs no allocation.
struct ValueText {
    static constexpr int kSeparatorMax = 9; // the locale query fills a 10-byte buffer
    std::array<char16_t, 4 + 3 * kSeparatorMax> chars{};
    std::uint8_t size = 0;
    void append(char16_t c) { chars[size++] = c; }
    void append(QStringView s)
    {
        for (qsizetype i = 0; i < s.size() && i < kSeparatorMax; ++i)
            append(s[i].unicode());
    }
    QStringView view() const { return QStringView(chars.data(), size); }
    QString toString() const { return view().toString(); }
};

// What the decoders read besides the frame text.
struct DecodeContext {
    QStringView decimalSeparator;
    ScaleNumbers scale;
};

struct DecodedFrame {
    Family family = Family::Tern;
    // Set when the frame text holds something other than an upper-case hex digit
    // where the decoder reads; nothing else of the frame is valid then.
    char16_t badDigit = 0;

    std::array<char, 4> glyphs{};    // LcdDa..LcdDd; '\0' is a blank digit
    std::array<char, 6> secondRow{}; // LcdDa2, LcdDb2, LcdDc2, LcdDd2, LCDDE2, LCDDF2
    std::uint8_t secondRowCount = 0; // how many of those the frame writes
    IndicatorBits<6> points;         // decimal points, in the order set
    IndicatorBits<40> annunciators;  // in bit order
    Unit unit = Unit::None;
    ValueText value; // Rook: not written
    int pointPosition = 0;

    // Tern only: the count without point; nullopt when the digits form no number
    // (the frame then stops after the panel).
    std::optional<float> reading;
    std::optional<int> dial; // position for KDrun; nullopt leaves the dial
    int bar = 0;             // bar position of a counted frame
};

inline constexpr std::array<Ind, 4> kMainDigits{Ind::LcdDa, Ind::LcdDb, Ind::LcdDc, Ind::LcdDd};
inline constexpr std::array<Ind, 6> kSecondRow{Ind::LcdDa2, Ind::LcdDb2, Ind::LcdDc2,
                                               Ind::LcdDd2, Ind::LCDDE2, Ind::LCDDF2};

// One-character texts for the glyphs, shared; '\0' gives the empty text.
const QString &glyphText(char glyph);

DecodedFrame LcdDisplayTern(QStringView frameText, const DecodeContext &context);
DecodedFrame LcdDisplayWren(QStringView frameText, const DecodeContext &context);
DecodedFrame LcdDisplayRook();

} // namespace sorrel
