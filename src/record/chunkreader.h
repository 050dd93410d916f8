#pragma once
// The one refill loop of both loaders: bytes from a file, or from memory handed over
// the same way, a chunk at a time after the piece the parser left unfinished. Bounds:
// the unfinished piece is at most the caller's maxCarry (a longer one fails the load
// rather than growing the buffer without end), and the buffer keeps kPad readable
// bytes past the last byte read, so a field span anywhere in it may be read as TextIds
// reads it.

#include "record/readingfiles.h"
#include "record/textids.h"

#include <QByteArrayView>
#include <QtGlobal>

#include <functional>

class QFile;

namespace sorrel::readingfile {

class ByteSource {
public:
    static constexpr qint64 kFileChunk = 1 << 20;

    explicit ByteSource(QFile &file);
    ByteSource(QByteArrayView bytes, qint64 chunk)
        : bytes_(bytes), total_(bytes.size()), chunk_(std::max<qint64>(chunk, 1))
    {}

    qint64 total() const { return total_; }
    // Most bytes the next read brings: bytes in memory never grow the buffer past them.
    qint64 next() const { return file_ ? chunk_ : std::min(chunk_, total_ - taken_); }
    qint64 read(char *to, qint64 max);

private:
    QFile *file_ = nullptr;
    QByteArrayView bytes_;
    qint64 total_ = 0;
    qint64 chunk_ = kFileChunk;
    qint64 taken_ = 0;
};

// Parses what it can of [p, e) and returns where it stopped: p itself when it needs
// more bytes first, null when the bytes are bad. eof: no more bytes will come.
using ChunkConsumer = std::function<const char *(const char *p, const char *e, bool eof)>;

// Reads source to its end through consume, calling progress after every chunk but the
// last. Returns the bytes read, or -1 when a read failed, consume found bad bytes or
// left more than maxCarry unfinished.
qint64 readChunks(ByteSource &source, size_t maxCarry, const FileProgress &progress, const ChunkConsumer &consume);

} // namespace sorrel::readingfile
