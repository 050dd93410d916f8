#pragma once
// What both file writers share: rows encoded straight into one buffer that goes out a
// megabyte at a time, each distinct text encoded once. Bounds: a stored text is at most
// kReadingTextMax code points (2 UTF-16 units each) and a unit encodes to at most
// kBytesPerUnit bytes (an XML reference such as "&quot;"; UTF-8 needs three), so an
// encoded text fits kEncodedTextMax. A text of up to kSlack bytes is copied with one
// fixed-size move that reads and writes kSlack bytes: every encoded text has kSlack
// readable bytes after its start, and every row is given kSlack bytes past its worst case.

#include "record/readingfiles.h"
#include "record/readingtable.h"

#include <QString>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

namespace sorrel {

class ReplacingFile;

namespace readingfile {

inline constexpr size_t kSlack = 16;
inline constexpr size_t kBytesPerUnit = 6;
// "NULL" and the like stand for an empty text; 8 is more than any of them.
inline constexpr size_t kEncodedTextMax = kBytesPerUnit * 2 * kReadingTextMax + 8;
// Number, separators and line end of one row take well under 64 bytes.
inline constexpr size_t kRowFrame = 64;
inline constexpr size_t kRowRoom = kRowFrame + 3 * kEncodedTextMax + kSlack;
inline constexpr size_t kFlushBytes = size_t(1) << 20;
inline constexpr qint64 kProgressRows = 1 << 16;
static_assert(sizeof(" Value=\"\"") * 3 + sizeof("<ROW No=\"-2147483648\"/>\r\n") <= kRowFrame,
              "the XML markup of a row fits its frame");

inline char *put(char *d, const char *s, size_t n)
{
    std::memcpy(d, s, n);
    return d + n;
}

inline char *putInt(char *d, qint32 v)
{
    return std::to_chars(d, d + 11, v).ptr;
}

// Writes s in the local 8-bit encoding; rows are nearly always ASCII.
char *putLocal8Bit(char *d, QStringView s);

// Characters XML 1.0 can carry, even as references.
inline bool xmlCarries(char32_t c)
{
    if (c < 0x20)
        return c == 0x9 || c == 0xA || c == 0xD;
    if (c >= 0xD800 && c <= 0xDFFF)
        return false;
    return c != 0xFFFE && c != 0xFFFF;
}

// Each distinct text of the table encoded once, in the bytes the file holds for it, so
// that a row costs three copies. Entries never move and each has kSlack readable bytes
// after its start.
class EncodedTexts {
public:
    // Writes at most kEncodedTextMax bytes for a stored text.
    using Encode = char *(*)(char *, const QString &);
    EncodedTexts(const ReadingTable &table, Encode encode) : table_(table), encode_(encode) {}

    std::string_view operator()(quint32 id)
    {
        if (id < spans_.size() && spans_[id].data() && generation_ == table_.generation()) [[likely]]
            return spans_[id];
        return first(id);
    }

private:
    std::string_view first(quint32 id);
    std::string_view encode(const QString &text);

    static constexpr size_t kBlock = 64 << 10;

    const ReadingTable &table_;
    Encode encode_;
    quint64 generation_ = table_.generation();
    std::vector<std::string_view> spans_; // by id; no data: not encoded yet
    std::vector<std::unique_ptr<char[]>> blocks_;
    char *next_ = nullptr;
    size_t free_ = 0;
};

// d has room for s and kSlack bytes more; s comes from EncodedTexts.
inline char *putEncoded(char *d, std::string_view s)
{
    if (s.size() <= kSlack)
        std::memcpy(d, s.data(), kSlack);
    else
        std::memcpy(d, s.data(), s.size());
    return d + s.size();
}

class BufferedWriter {
public:
    explicit BufferedWriter(ReplacingFile &file) : file_(file), buffer_(kFlushBytes + kRowRoom) {}

    // Room for n more bytes; null when writing out failed.
    char *room(size_t n)
    {
        if (used_ + n > buffer_.size()) {
            if (!flush())
                return nullptr;
            if (n > buffer_.size())
                buffer_.resize(n);
        }
        return buffer_.data() + used_;
    }
    void advance(char *end) { used_ = size_t(end - buffer_.data()); }
    bool append(const char *s);
    bool flushIfFull() { return used_ < kFlushBytes || flush(); }
    bool flush();

private:
    ReplacingFile &file_;
    std::vector<char> buffer_;
    size_t used_ = 0;
    qint64 written_ = 0;
};

// Calls put(d, row) for each stored row, d with kRowRoom bytes of room; rows recorded
// while progress runs the event loop are not part of this save.
template <class Put>
bool forEachRow(const ReadingTable &table, BufferedWriter &out, const FileProgress &progress, Put put)
{
    qsizetype n = table.rowCount();
    for (qsizetype i = 0; i < n; ++i) {
        char *d = out.room(kRowRoom);
        if (!d)
            return false;
        out.advance(put(d, table.storedRow(i)));
        if (!out.flushIfFull())
            return false;
        if (progress && (i + 1) % kProgressRows == 0) {
            progress(i + 1, n);
            n = std::min(n, table.rowCount());
        }
    }
    return out.flush();
}

} // namespace readingfile
} // namespace sorrel
