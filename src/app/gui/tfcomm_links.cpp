#include "app/gui/tfcomm.h"

#include "link/gui/linkcontrols.h"
#include "link/meterlinks.h"

namespace sorrel {

void TFCOMM::setupLinks()
{
    MeterLinks::Options linkOptions;
    linkOptions.demo = options_.demo;
    links_ = new MeterLinks(*session_, std::move(linkOptions), this);
    linkControls_ = new LinkControls(*links_, *START1, *STOP1, *USB, client_);
}

} // namespace sorrel
