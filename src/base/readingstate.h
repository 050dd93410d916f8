#pragma once
// The state that links, decoders, the judge and the recorder share: one instance,
// owned by the meter session, touched from the main thread only.

#include "base/profile.h"

#include <QString>

namespace sorrel {

struct ReadingState {
    // Fixed at start-up.
    QString displayClass = QStringLiteral("4");
    ScaleNumbers scale;
    QString decimalSeparator;

    // The current reading, written by the decoders.
    QString currentValue;
    QString currentUnit;
    float lastReading = 0;

    // Extremes; the previous unit starts as a text no decoder produces, so the
    // first reading always restarts tracking.
    float runningMax = 0;
    float runningMin = 0;
    QString maxText;
    QString minText;
    QString previousUnit = QStringLiteral("113");
    int previousPointPosition = 0;

    // Connection-timer ticks since a decoder last took a frame.
    int watchdogCount = 0;

    // While the report preview is open the bridge poll reads but does not decode.
    bool previewOpen = false;
};

} // namespace sorrel
