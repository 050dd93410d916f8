// Rook frames arrive on the HID cable only and carry nothing the decoder reads: each
// one puts up the same fixed screen, u s b .1, and leaves the reading, the receive
// lamp and LcdP1 alone.

#include "decode/decodedframe.h"

namespace sorrel {

DecodedFrame LcdDisplayRook()
{
    DecodedFrame f;
    f.family = Family::Rook;
    f.points.push(Ind::LcdP2, false);
    f.points.push(Ind::LcdP3, true);
    f.glyphs = {'u', 's', 'b', '1'};
    f.secondRowCount = 6;
    return f;
}

} // namespace sorrel
