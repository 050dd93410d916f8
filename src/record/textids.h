#pragma once
// From the bytes of a loaded field to what a row stores: text ids by the bytes that
// stand for the text in the file, and the row number. Bounds: every span handed to
// TextIds::id has kPad readable bytes from its start, since a span of up to 8 bytes is
// read as one 8-byte word and masked to its length (kPad covers that word).

#include "record/readingtable.h"

#include <QString>
#include <QtEndian>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace sorrel::readingfile {

inline constexpr size_t kPad = 16;
static_assert(kPad >= sizeof(quint64), "a short span is read as one word");

// Whole 32-bit decimal number with an optional sign.
template <class Char>
bool parseInt32(const Char *p, qsizetype n, qint32 *out)
{
    if (n <= 0)
        return false;
    bool negative = false;
    if (*p == Char('+') || *p == Char('-')) {
        negative = *p == Char('-');
        ++p;
        --n;
        if (n == 0)
            return false;
    }
    qint64 v = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const auto c = p[i];
        if (c < Char('0') || c > Char('9'))
            return false;
        v = v * 10 + (c - Char('0'));
        if (v > qint64(1) << 31)
            return false;
    }
    if (negative)
        v = -v;
    if (v < INT32_MIN || v > INT32_MAX)
        return false;
    *out = qint32(v);
    return true;
}

inline bool decodeLocal8Bit(const char *p, size_t n, QString *out)
{
    *out = QString::fromLocal8Bit(p, qsizetype(n));
    return true;
}

// Rows of one file share few distinct units and times: a text equal to the previous
// row's shares its storage.
class TextCache {
public:
    template <class Decode>
    bool text(const char *p, size_t n, QString *out, Decode decode)
    {
        if (n != bytes_.size() || std::memcmp(p, bytes_.data(), n) != 0) {
            QString t;
            if (!decode(p, n, &t))
                return false;
            bytes_.assign(p, n);
            text_ = std::move(t);
        }
        *out = text_;
        return true;
    }

private:
    std::string bytes_;
    QString text_;
};

// Text ids by the bytes that stand for the text in the file: a text met again costs a
// hash and a compare instead of a decode and an intern. Spans up to 8 bytes, nearly all
// of them, are the key itself. One per field, so that the few values of a run stay in
// the cache however many times there are; it also remembers its last text, since times
// and units repeat row after row.
class TextIds {
public:
    explicit TextIds(ReadingTable &table) : table_(table) { reset(); }

    // Spans must have kPad readable bytes from their start.
    template <class Decode>
    bool id(const char *p, size_t n, quint32 *out, Decode decode)
    {
        if (n == 0) {
            *out = 0;
            return true;
        }
        if (generation_ != table_.generation())
            reset();
        quint64 key, h;
        if (n <= 8) {
            key = lowBytes(qFromLittleEndian<quint64>(p), n);
            if (lastSize_ == n && lastKey_ == key) {
                *out = lastId_;
                return true;
            }
            h = mix(key ^ n);
        } else {
            h = n;
            for (size_t i = 0; i + 8 <= n; i += 8)
                h = mix(h ^ qFromLittleEndian<quint64>(p + i));
            key = h = mix(h ^ qFromLittleEndian<quint64>(p + n - 8));
        }
        size_t i = size_t(h) & mask_;
        for (;; i = (i + 1) & mask_) {
            const Slot &s = slots_[i];
            if (s.size == 0)
                break;
            if (s.size == n && s.key == key) {
                if (n <= 8) {
                    *out = s.id;
                    remember(key, n, s.id);
                    return true;
                }
                const Long &l = long_[s.id];
                if (std::memcmp(l.bytes.data(), p, n) == 0) {
                    *out = l.id;
                    return true;
                }
            }
        }
        QString text;
        if (!decode(p, n, &text))
            return false;
        *out = table_.intern(text);
        insert(i, h, key, p, n, *out);
        return true;
    }

private:
    static constexpr size_t kMaxEntries = size_t(1) << 20;
    // Up to 8 bytes: key holds them and id is the text id. Longer: key is the hash and
    // id indexes long_.
    struct Slot {
        quint64 key = 0;
        quint32 size = 0; // 0: free
        quint32 id = 0;
    };
    struct Long {
        std::string bytes;
        quint32 id;
    };

    static quint64 mix(quint64 x)
    {
        x ^= x >> 33;
        x *= 0xff51afd7ed558ccdULL;
        x ^= x >> 33;
        x *= 0xc4ceb9fe1a85ec53ULL;
        return x ^ (x >> 33);
    }
    // The first k bytes (k < 8) of a little-endian load.
    static quint64 lowBytes(quint64 w, size_t k) { return k >= 8 ? w : w & ((quint64(1) << (8 * k)) - 1); }

    void remember(quint64 key, size_t n, quint32 id)
    {
        lastKey_ = key;
        lastSize_ = n;
        lastId_ = id;
    }

    // Puts a new text at slot i, the free one its probe ended on.
    void insert(size_t i, quint64 h, quint64 key, const char *p, size_t n, quint32 id)
    {
        if (count_ >= kMaxEntries) { // a file of endless distinct texts: start afresh
            reset();
            i = size_t(h) & mask_;
        }
        if (n <= 8) {
            slots_[i] = Slot{key, quint32(n), id};
            remember(key, n, id);
        } else {
            slots_[i] = Slot{key, quint32(n), quint32(long_.size())};
            long_.push_back(Long{std::string(p, n), id});
        }
        if (++count_ * 4 > slots_.size() * 3)
            grow();
    }
    void reset();
    void grow();

    ReadingTable &table_;
    std::vector<Slot> slots_;
    size_t mask_ = 0;
    size_t count_ = 0;
    std::vector<Long> long_;
    quint64 lastKey_ = 0;
    size_t lastSize_ = 0; // 0: none
    quint32 lastId_ = 0;
    quint64 generation_ = 0;
};

} // namespace sorrel::readingfile
