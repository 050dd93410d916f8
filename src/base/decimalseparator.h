#pragma once
#include <QString>

namespace sorrel {
// The system locale's decimal separator, read once at start-up.
QString systemDecimalSeparator();
// The system locale's time separator (":" on most systems).
QString systemTimeSeparator();
} // namespace sorrel
