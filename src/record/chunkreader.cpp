#include "record/chunkreader.h"

#include <QFile>

#include <cstring>
#include <vector>

namespace sorrel::readingfile {

ByteSource::ByteSource(QFile &file) : file_(&file), total_(file.size())
{}

qint64 ByteSource::read(char *to, qint64 max)
{
    if (file_)
        return file_->read(to, max);
    const qint64 n = std::min(max, total_ - taken_);
    if (n > 0)
        std::memcpy(to, bytes_.data() + taken_, size_t(n));
    taken_ += n;
    return n;
}

qint64 readChunks(ByteSource &source, size_t maxCarry, const FileProgress &progress, const ChunkConsumer &consume)
{
    const qint64 total = source.total();
    std::vector<char> buf;
    size_t begin = 0, end = 0;
    qint64 done = 0;
    bool eof = false;
    while (!eof) {
        // Keep the unfinished piece, read the next chunk after it.
        if (begin > 0) {
            std::memmove(buf.data(), buf.data() + begin, end - begin);
            end -= begin;
            begin = 0;
        }
        if (end > maxCarry)
            return -1;
        const qint64 want = source.next();
        buf.resize(end + size_t(want) + kPad);
        const qint64 got = source.read(buf.data() + end, want);
        if (got < 0)
            return -1;
        eof = got == 0;
        end += size_t(got);
        done += got;
        const char *p = consume(buf.data(), buf.data() + end, eof);
        if (!p)
            return -1;
        begin = size_t(p - buf.data());
        if (progress && !eof)
            progress(done, total);
    }
    return done;
}

} // namespace sorrel::readingfile
