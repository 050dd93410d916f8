#include "decode/frameassembler.h"

#include "decode/decodedframe.h"

#include <algorithm>
#include <cstring>

namespace sorrel {

namespace {
constexpr std::string_view kTernSequence = "123456789ABCDE";
}

void FrameAssembler::append(std::uint8_t byte)
{
    if (size_ == int(data_.size())) {
        // Keep the newest half; compacting only now and then keeps a byte O(1).
        std::memmove(data_.data(), data_.data() + kKeptDigits, kKeptDigits);
        std::memmove(sequence_.data(), sequence_.data() + kKeptDigits, kKeptDigits);
        size_ = kKeptDigits;
    }
    data_[size_t(size_)] = kHexDigits[byte & 0x0f];
    sequence_[size_t(size_)] = kHexDigits[byte >> 4];
    ++size_;
    if (size_ > kKeptDigits)
        overflowed_ = true;
}

std::string_view FrameAssembler::window(const Buffer &b) const
{
    const int n = std::min(size_, kKeptDigits);
    return {b.data() + (size_ - n), size_t(n)};
}

void FrameAssembler::takeFrame()
{
    const std::string_view d = dataDigits();
    std::copy(d.begin(), d.end(), frame_.begin());
    frameSize_ = int(d.size());
}

void FrameAssembler::clear()
{
    size_ = 0;
    overflowed_ = false;
}

FrameAssembler::End FrameAssembler::pushTern(std::uint8_t byte)
{
    append(byte);
    if ((byte >> 4) != 0x0e)
        return End::None;
    takeFrame();
    const bool passed = !overflowed_ && sequenceDigits() == kTernSequence;
    clear();
    return passed ? End::Passed : End::Dropped;
}

FrameAssembler::End FrameAssembler::pushWren(std::uint8_t byte)
{
    append(byte);
    if (byte != 0x0d)
        return End::None;
    takeFrame();
    const std::string_view d = frame();
    const bool passed = !overflowed_ && d.size() >= 11 && d[0] == 'A' && d[10] == 'D';
    clear();
    return passed ? End::Passed : End::Dropped;
}

} // namespace sorrel
