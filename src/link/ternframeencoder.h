#pragma once
// Builds the bytes a light meter sends for what its display shows: 32-byte frames as
// the USB bridge delivers them and 14-byte serial frames. The demo meter, the tests and
// the benchmarks use it.

#include <QByteArray>
#include <QString>
#include <array>
#include <optional>

namespace sorrel {

// Annunciator bits, numbered as in the frame's bit text (bit p: weight 8, 4, 2, 1 of
// frame position ceil(p/4)).
enum class TernBit : int {
    LUX = 73,
    FC = 74,
    CD = 75,
    X10 = 76,
    loadNO = 77,
    FULL = 78,
    USB = 79,
    power = 80,
    t_p = 81,
    Z = 82,
    auto_ = 83,
    perecent = 84,
    o1 = 85,
    o2 = 86,
    o3 = 87,
    o4 = 88,
    p_off = 91,
    REC = 92,
    REL = 93,
    MIN = 94,
    MAX = 95,
    LCDHold = 96,
};

struct TernDisplay {
    // Digits 1 (left) to 4: '0'..'9', 'L', or ' ' for blank.
    std::array<char, 4> glyphs{{' ', ' ', ' ', ' '}};
    // Decimal point after digit 1, 2 or 3; 0 for none.
    int point = 0;
    // Annunciator bits 73..96.
    quint32 annunciators = 0;
    // Second digit row, one hexadecimal digit each (frame positions 25..30).
    std::array<quint8, 6> secondRow{};

    void set(TernBit bit, bool on = true);
    bool has(TernBit bit) const;
    bool operator==(const TernDisplay &) const = default;

    // "12.34", " 0L ", "199.9", "5": right-aligned into four digits, at most one point
    // and not after the last digit. nullopt for anything else.
    static std::optional<TernDisplay> fromText(const QString &text);
    QString text() const; // the inverse, blanks kept
};

// Segment pattern of a glyph as eight bits d g e f dp b c a (d is bit 7); 0 for blank
// or an unknown glyph.
quint8 ternSegmentPattern(char glyph, bool point);

// 32 bytes whose low digits are the frame text: second digit "0", tail "DA" (the
// bytes 0x0D 0x0A at positions 31 and 32).
QByteArray encodeTernBridgeFrame(const TernDisplay &display);
// 14 bytes whose high digits count 1 .. E; annunciators beyond position 14 are not sent.
QByteArray encodeTernSerialFrame(const TernDisplay &display);

} // namespace sorrel
