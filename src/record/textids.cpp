#include "record/textids.h"

namespace sorrel::readingfile {

void TextIds::reset()
{
    slots_.assign(size_t(1) << 8, Slot{});
    mask_ = slots_.size() - 1;
    long_.clear();
    count_ = 0;
    lastSize_ = 0;
    generation_ = table_.generation();
}

void TextIds::grow()
{
    std::vector<Slot> old(slots_.size() * 2);
    old.swap(slots_);
    mask_ = slots_.size() - 1;
    for (const Slot &s : old) {
        if (!s.size)
            continue;
        size_t i = size_t(s.size <= 8 ? mix(s.key ^ s.size) : s.key) & mask_;
        while (slots_[i].size)
            i = (i + 1) & mask_;
        slots_[i] = s;
    }
}

} // namespace sorrel::readingfile
