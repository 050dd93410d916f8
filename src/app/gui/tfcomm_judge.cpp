#include "app/gui/tfcomm.h"

namespace sorrel {

void TFCOMM::setupJudge()
{
    Panel4 = placeholder(400, 32, 319, 121, QStringLiteral("Panel4"));
}

void TFCOMM::applyLimitTexts()
{
}

} // namespace sorrel
