#pragma once
// The small pictures of the record panel and the chart toolbar, drawn by us.

#include <QIcon>

namespace sorrel {

enum class RecordIcon {
    New,
    Open,
    Save,
    Print,
    ChartNew,
    ChartSave,
    First,
    Previous,
    Next,
    Last,
    Enlarge,
    Restore
};

QIcon recordIcon(RecordIcon kind);

} // namespace sorrel
