#include "decode/decodedframe.h"

namespace sorrel {

const char *familyName(Family family)
{
    switch (family) {
    case Family::Tern:
        return "tern";
    case Family::Wren:
        return "wren";
    case Family::Rook:
        return "rook";
    }
    return "";
}

const QString &unitText(Unit unit)
{
    static const std::array<QString, size_t(Unit::Count)> texts = [] {
        std::array<QString, size_t(Unit::Count)> t;
        for (size_t i = 0; i < t.size(); ++i)
            t[i] = QString::fromLatin1(kUnitTexts[i]);
        return t;
    }();
    return texts[size_t(unit)];
}

const QString &glyphText(char glyph)
{
    static const std::array<QString, 128> texts = [] {
        std::array<QString, 128> t;
        for (int c = 1; c < 128; ++c)
            t[size_t(c)] = QString(QChar(c));
        return t;
    }();
    return texts[size_t(static_cast<unsigned char>(glyph) & 0x7f)];
}

} // namespace sorrel
