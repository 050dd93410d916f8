#include "app/gui/tfcomm.h"

#include "display/gui/limitpanel.h"

namespace sorrel {

void TFCOMM::setupJudge()
{
    Panel4 = new LimitPanel(*session_, client_);
}

} // namespace sorrel
