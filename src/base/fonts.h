#pragma once
// The program's one face: Arial, with the sans-serif hint so every size shares one
// fallback lookup where Arial itself is missing.

#include <QFont>

namespace sorrel {

// Whether the font states its weight or leaves it to the widget it is set on.
enum class Bold { Inherit, No, Yes };

QFont arialPixels(int pixels, Bold bold = Bold::Inherit);
QFont arialPoints(qreal points, Bold bold = Bold::Inherit);

} // namespace sorrel
