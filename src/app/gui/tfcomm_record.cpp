#include "app/gui/tfcomm.h"

namespace sorrel {

void TFCOMM::setupRecording()
{
    RecordPanel = placeholder(1, 272, 398, 41, QStringLiteral("RecordPanel"));
    DBGrid1 = placeholder(1, 312, 398, 233, QStringLiteral("DBGrid1"));
    Chtshow = placeholder(400, 152, 321, 394, QStringLiteral("Chtshow"));
}

void TFCOMM::createChartController()
{
}

void TFCOMM::createReadingTable()
{
}

} // namespace sorrel
