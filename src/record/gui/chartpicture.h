#pragma once
// The chart picture: the chart exactly as drawn now, on white, at its own size; the
// controls that sit on the chart (its toolbar) are not part of it.

#include "base/outcome.h"

#include <QImage>
#include <QString>

class QWidget;

namespace sorrel {

QImage chartPicture(QWidget *chart);

// Writes the picture as a Windows bitmap, replacing any file of that name only once the
// new one is complete. Success tells "Graphic has saved on ..."; a failure is told as the
// general error report, the reason on its line.
Outcome saveChartPicture(QWidget *chart, const QString &fileName);

} // namespace sorrel
