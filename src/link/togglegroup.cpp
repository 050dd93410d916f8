#include "link/togglegroup.h"

namespace sorrel {

void ToggleGroup::setDown(Toggle t, bool down)
{
    if (down) {
        for (int i = 0; i < kToggleCount; ++i) {
            if (i != int(t) && down_[size_t(i)]) {
                down_[size_t(i)] = false;
                Q_EMIT positionChanged(Toggle(i), false);
            }
        }
    }
    if (down_[size_t(t)] == down)
        return;
    down_[size_t(t)] = down;
    Q_EMIT positionChanged(t, down);
}

} // namespace sorrel
