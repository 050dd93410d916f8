#include "app/gui/tfcomm.h"

namespace sorrel {

void TFCOMM::setupDisplay()
{
    LcdPanel = placeholder(1, 32, 398, 217, QStringLiteral("LcdPanel"));
}

void TFCOMM::KDsetup(int)
{
}

void TFCOMM::KDrun(int)
{
}

} // namespace sorrel
