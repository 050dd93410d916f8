#pragma once
// Cuts serial byte streams into frame texts: Tern frames end with a byte whose high
// digit is E and pass when the high digits read 1..E; Wren frames end with CR and
// pass when digit 1 is A and digit 11 is D.

#include <array>
#include <cstdint>
#include <string_view>

namespace sorrel {

class FrameAssembler {
public:
    // The accumulators keep the newest digits only, so a stream without a frame end
    // cannot grow memory; a frame that lost digits this way is dropped.
    static constexpr int kKeptDigits = 64;

    enum class End : std::uint8_t { None, Dropped, Passed };

    // One byte each; at a frame end frame() holds the frame's data digits.
    End pushTern(std::uint8_t byte);
    End pushWren(std::uint8_t byte);

    std::string_view frame() const { return {frame_.data(), size_t(frameSize_)}; }
    // The digits since the last frame end (low and high digit of each byte).
    std::string_view dataDigits() const { return window(data_); }
    std::string_view sequenceDigits() const { return window(sequence_); }
    void clear();

private:
    using Buffer = std::array<char, 2 * kKeptDigits>;
    void append(std::uint8_t byte);
    std::string_view window(const Buffer &b) const;
    void takeFrame();

    Buffer data_{};
    Buffer sequence_{};
    int size_ = 0; // digits held, at most 2 * kKeptDigits
    bool overflowed_ = false;
    std::array<char, kKeptDigits> frame_{};
    int frameSize_ = 0;
};

} // namespace sorrel
