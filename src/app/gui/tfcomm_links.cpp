#include "app/gui/tfcomm.h"

namespace sorrel {

void TFCOMM::setupLinks()
{
}

void TFCOMM::bindSerialHandler()
{
}

} // namespace sorrel
