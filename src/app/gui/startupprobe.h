#pragma once
// Start-up measurement: with SORREL_STARTUP_PROBE set, the process writes "shown" to
// stdout once its window has been painted for the first time, and ends at once.
// bench/startup.cpp times the spawn-to-"shown" interval.

class QWidget;

namespace sorrel {

inline constexpr const char *kStartupProbeVariable = "SORREL_STARTUP_PROBE";

bool startupProbeRequested();
// Call before window->show().
void armStartupProbe(QWidget *window);

} // namespace sorrel
