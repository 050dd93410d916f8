#include "app/gui/tfcomm.h"

namespace sorrel {

void TFCOMM::setupOutput()
{
}

} // namespace sorrel
