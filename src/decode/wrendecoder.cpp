// Wren frames: a segment map of two four-digit rows. Digits (from 1) 3-18 are eight
// cells of two digits each, from the rightmost main digit to the leftmost secondary
// one; a cell's eight bits read a b c, point, f g e d. Bits 73-113 (digits 19-29)
// are one annunciator each. Only the first 32 digits count; digits missing from a
// shorter (serial) text count as 0, so they light nothing.

#include "decode/decodedframe.h"

namespace sorrel {

namespace {

constexpr std::uint8_t bits7(const char (&text)[8])
{
    std::uint8_t v = 0;
    for (int i = 0; i < 7; ++i)
        v = std::uint8_t(v << 1 | (text[i] == '1'));
    return v;
}

// Segment pattern a b c f g e d -> character. Three patterns depend on the cell.
constexpr std::uint8_t kFiveOrS = bits7("1011101");
constexpr std::uint8_t kOnlyB = bits7("0011111");
constexpr std::uint8_t kOnlyU = bits7("0111011");

constexpr std::array<char, 128> kCharByPattern = [] {
    std::array<char, 128> t{};
    t[bits7("1111011")] = '0';
    t[bits7("0110000")] = '1';
    t[bits7("1100111")] = '2';
    t[bits7("1110101")] = '3';
    t[bits7("0111100")] = '4';
    t[kFiveOrS] = '5';
    t[bits7("1011111")] = '6';
    t[bits7("1110000")] = '7';
    t[bits7("1111111")] = '8';
    t[bits7("1111101")] = '9';
    t[bits7("0001011")] = '@'; // d e f: the L of an overload
    return t;
}();

char cellCharacter(int cell, std::uint8_t pattern)
{
    if (pattern == kFiveOrS)
        return cell == 3 ? 's' : '5';
    if (pattern == kOnlyB)
        return cell == 2 ? 'b' : '\0';
    if (pattern == kOnlyU)
        return cell == 4 ? 'u' : '\0';
    return kCharByPattern[pattern];
}

// Points in the order they are set: cell, indicator.
struct WrenPoint {
    int cell;
    Ind id;
};
constexpr WrenPoint kPoints[] = {
    {2, Ind::LcdP3}, {3, Ind::LcdP2}, {4, Ind::LcdP1}, {6, Ind::LcdP32}, {7, Ind::LcdP22}, {8, Ind::LcdP12},
};

struct WrenAnnunciator {
    std::uint8_t position; // 1-based bit position
    Ind id;
    Unit unit;
};
constexpr WrenAnnunciator kAnnunciators[] = {
    {73, Ind::AVE, Unit::None},     {74, Ind::MAX, Unit::None},     {75, Ind::V23, Unit::None},
    {76, Ind::PH, Unit::None},      {77, Ind::MIN, Unit::None},     {78, Ind::REC, Unit::None},
    {79, Ind::READ, Unit::None},    {80, Ind::USB, Unit::None},     {81, Ind::ESC, Unit::None},
    {82, Ind::VEL, Unit::None},     {83, Ind::NODATA, Unit::None},  {84, Ind::power, Unit::None},
    {85, Ind::frame, Unit::None},   {86, Ind::FLOW, Unit::None},    {87, Ind::LcdFH, Unit::None},
    {88, Ind::LCDHold, Unit::None}, {89, Ind::t_p, Unit::None},     {90, Ind::ft2, Unit::None},
    {92, Ind::m2, Unit::None},      {93, Ind::c, Unit::None},       {94, Ind::RH, Unit::None},
    {95, Ind::f, Unit::None},       {96, Ind::KEY, Unit::None},     {97, Ind::TEMP, Unit::None},
    {98, Ind::LOAD, Unit::None},    {99, Ind::loadNO, Unit::None},  {100, Ind::time_l, Unit::None},
    {101, Ind::TIMER, Unit::None},  {102, Ind::CMM, Unit::Cmm},     {103, Ind::CFM, Unit::Cfm},
    {104, Ind::ms, Unit::Ms},       {105, Ind::knots, Unit::Knots}, {106, Ind::ftmin, Unit::FtMin},
    {107, Ind::mph, Unit::Mph},     {108, Ind::X10, Unit::X1},      {109, Ind::kmh, Unit::Kmh},
    {110, Ind::Z1, Unit::X10},      {111, Ind::p_off, Unit::None},
};
constexpr int kX100Position = 112; // a unit without an indicator; it hides NO
constexpr int kNoPosition = 113;

} // namespace

DecodedFrame LcdDisplayWren(QStringView frameText, const DecodeContext &context)
{
    DecodedFrame f;
    f.family = Family::Wren;

    std::array<std::uint8_t, 32> nib{};
    for (qsizetype k = 0; k < 32 && k < frameText.size(); ++k) {
        const int v = hexValue(frameText[k].unicode());
        if (v < 0) {
            f.badDigit = frameText[k].unicode();
            return f;
        }
        nib[size_t(k)] = std::uint8_t(v);
    }
    auto bit = [&](int p) { return (nib[size_t((p - 1) / 4)] >> (3 - (p - 1) % 4)) & 1; };

    // Cell n is digits 2n+1 and 2n+2.
    std::array<char, 9> cells{};
    std::array<bool, 9> cellPoint{};
    for (int n = 1; n <= 8; ++n) {
        const auto byte = std::uint8_t(nib[size_t(2 * n)] << 4 | nib[size_t(2 * n + 1)]);
        const auto pattern = std::uint8_t((byte >> 5) << 4 | (byte & 0x0f));
        cells[size_t(n)] = cellCharacter(n, pattern);
        cellPoint[size_t(n)] = byte & 0x10;
    }

    for (const WrenPoint &p : kPoints)
        f.points.push(p.id, cellPoint[size_t(p.cell)]);

    for (const WrenAnnunciator &a : kAnnunciators) {
        const bool on = bit(a.position);
        f.annunciators.push(a.id, on);
        if (on && a.unit != Unit::None)
            f.unit = a.unit;
    }
    if (bit(kX100Position))
        f.unit = Unit::X100; // NO is not looked at and stays hidden
    else
        f.annunciators.push(Ind::NO, bit(kNoPosition));

    // Main row: cells 4, 3, 2, 1 with the points after the first, second, third digit.
    const bool p1 = cellPoint[4], p2 = cellPoint[3], p3 = cellPoint[2];
    f.glyphs = {cells[4], cells[3], cells[2], cells[1]};
    const std::array<bool, 3> lit{p1, p2, p3};
    for (size_t i = 0; i < 4; ++i) {
        if (f.glyphs[i])
            f.value.append(i == 2 && f.glyphs[i] == '@' ? u'L' : char16_t(f.glyphs[i]));
        if (i < 3 && lit[i])
            f.value.append(context.decimalSeparator);
    }
    f.pointPosition = p3 ? 3 : p2 ? 2 : p1 ? 1 : 0;

    f.secondRow = {cells[8], cells[7], cells[6], cells[5], '\0', '\0'};
    f.secondRowCount = 4;
    return f;
}

} // namespace sorrel
