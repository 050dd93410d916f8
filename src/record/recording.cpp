#include "record/recording.h"

#include "base/decimalseparator.h"

namespace sorrel {

Recording::Recording(ReadingTable &table, TrendChartSurface &chart, int pageSize, const ReadingState &state,
                     const LcdPanelState &panel, Notifier &notifier, QObject *parent)
    : QObject(parent), table_(table), chartControl_(chart, pageSize),
      recorder_(table, chartControl_, state, panel, notifier, systemTimeSeparator())
{}

void Recording::record()
{
    if (stopped_)
        return;
    recorder_.INDataToTable();
    Q_EMIT recorded();
}

} // namespace sorrel
