#pragma once
// Which decoder a 32-digit frame from the HID cable or the USB bridge goes to.

#include "decode/decodedframe.h"

#include <QStringView>
#include <optional>
#include <span>

namespace sorrel {

struct DispatchRule {
    enum class Test : std::uint8_t { TailAndSecond, Head };
    Test test;
    char16_t second; // digit 2, for TailAndSecond
    Family family;
};

// Tail: digits 31 and 32 read "DA" (CR, LF). Head: digits 1-10 read "03603FAD6B".
// The rules exclude one another, so at most one matches.
inline constexpr DispatchRule kHidDispatch[] = {
    {DispatchRule::Test::TailAndSecond, u'0', Family::Tern},
    {DispatchRule::Test::TailAndSecond, u'1', Family::Tern},
    {DispatchRule::Test::TailAndSecond, u'2', Family::Rook},
    {DispatchRule::Test::TailAndSecond, u'F', Family::Tern},
    {DispatchRule::Test::Head, 0, Family::Wren},
};
inline constexpr DispatchRule kBridgeDispatch[] = {
    {DispatchRule::Test::TailAndSecond, u'0', Family::Tern},
    {DispatchRule::Test::TailAndSecond, u'F', Family::Tern},
    {DispatchRule::Test::Head, 0, Family::Wren},
};

std::optional<Family> dispatchFamily(std::span<const DispatchRule> table, QStringView frameText);

} // namespace sorrel
