#include "record/rowencoding.h"

#include "record/replacingfile.h"

#ifdef Q_OS_LINUX
#include <fcntl.h>
#endif

namespace sorrel::readingfile {

char *putLocal8Bit(char *d, QStringView s)
{
    const char16_t *p = s.utf16();
    const qsizetype n = s.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (p[i] >= 0x80) {
            const QByteArray bytes = s.toLocal8Bit();
            std::memcpy(d, bytes.constData(), size_t(bytes.size()));
            return d + bytes.size();
        }
        d[i] = char(p[i]);
    }
    return d + n;
}

std::string_view EncodedTexts::first(quint32 id)
{
    if (generation_ != table_.generation()) { // emptied while progress ran the event loop
        spans_.clear();
        blocks_.clear();
        free_ = 0;
        generation_ = table_.generation();
    }
    if (id >= spans_.size())
        spans_.resize(std::max(size_t(id) + 1, size_t(table_.distinctTexts())));
    std::string_view &s = spans_[id];
    if (!s.data())
        s = encode(table_.text(id));
    return s;
}

std::string_view EncodedTexts::encode(const QString &text)
{
    // Whatever the text's length, the entry and kSlack bytes after it fit in its block.
    const size_t worst = kBytesPerUnit * size_t(text.size()) + 8 + kSlack;
    if (worst > free_) {
        const size_t size = std::max(kBlock, worst);
        blocks_.push_back(std::make_unique<char[]>(size));
        next_ = blocks_.back().get();
        free_ = size;
    }
    char *end = encode_(next_, text);
    const std::string_view s(next_, size_t(end - next_));
    next_ = end;
    free_ -= s.size();
    return s;
}

bool BufferedWriter::append(const char *s)
{
    const size_t n = std::strlen(s);
    char *d = room(n);
    if (!d)
        return false;
    advance(put(d, s, n));
    return true;
}

bool BufferedWriter::flush()
{
    const qint64 n = used_ ? file_.write(buffer_.data(), qint64(used_)) : 0;
    used_ = 0;
    if (n < 0)
        return false;
#ifdef Q_OS_LINUX
    // Start putting what was written on disk now, so that the flush that makes the
    // file safe before it replaces the old one has little left to wait for.
    if (n > 0 && file_.handle() >= 0)
        ::sync_file_range(file_.handle(), written_, n, SYNC_FILE_RANGE_WRITE);
    written_ += n;
#endif
    return true;
}

} // namespace sorrel::readingfile
