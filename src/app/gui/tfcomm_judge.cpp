#include "app/gui/tfcomm.h"

#include "display/gui/limitpanel.h"

namespace sorrel {

void TFCOMM::setupJudge()
{
    Panel4 = new LimitPanel(*session_, client_);
}

void TFCOMM::applyLimitTexts()
{
    // The session put the display class's texts through the change rule when it was
    // made; the boxes show them from now on.
    static_cast<LimitPanel *>(Panel4)->syncLimitTexts();
}

} // namespace sorrel
