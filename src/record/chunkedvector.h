#pragma once
// Append-only storage in fixed blocks: appending never moves earlier elements, so
// the cost of an append stays flat however long the run, and memory grows by one
// block at a time instead of doubling.

#include <QtGlobal>
#include <cstddef>
#include <memory>
#include <utility>
#include <vector>

namespace sorrel {

template <typename T, int BlockBits = 16>
class ChunkedVector {
public:
    static constexpr qsizetype kBlockSize = qsizetype(1) << BlockBits;

    ChunkedVector() = default;
    ChunkedVector(ChunkedVector &&other) noexcept
        : blocks_(std::move(other.blocks_)), size_(std::exchange(other.size_, 0))
    {}
    ChunkedVector &operator=(ChunkedVector &&other) noexcept
    {
        blocks_ = std::move(other.blocks_);
        size_ = std::exchange(other.size_, 0);
        other.blocks_.clear();
        return *this;
    }

    qsizetype size() const { return size_; }
    bool empty() const { return size_ == 0; }

    const T &operator[](qsizetype i) const
    {
        return blocks_[size_t(i >> BlockBits)][size_t(i & (kBlockSize - 1))];
    }
    T &operator[](qsizetype i) { return blocks_[size_t(i >> BlockBits)][size_t(i & (kBlockSize - 1))]; }

    void push_back(const T &value)
    {
        if ((size_ & (kBlockSize - 1)) == 0 && size_t(size_ >> BlockBits) == blocks_.size())
            blocks_.push_back(std::make_unique_for_overwrite<T[]>(size_t(kBlockSize)));
        (*this)[size_] = value;
        ++size_;
    }

    void clear()
    {
        blocks_.clear();
        blocks_.shrink_to_fit();
        size_ = 0;
    }

    std::size_t bytesReserved() const { return blocks_.size() * sizeof(T) * size_t(kBlockSize); }

private:
    std::vector<std::unique_ptr<T[]>> blocks_;
    qsizetype size_ = 0;
};

} // namespace sorrel
