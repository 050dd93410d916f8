#include "cli/arguments.h"

#include "cli/recording.h"

#include <cstdio>
#include <cstdlib>

namespace sorrel::cli {

int runCommand(const QStringList &args, const char *usage, const std::function<int()> &body)
{
    if (args.contains(QStringLiteral("--help")) || args.contains(QStringLiteral("-h"))) {
        std::fputs(usage, stdout);
        return 0;
    }
    try {
        return body();
    } catch (const BadOption &bad) {
        std::fprintf(stderr, "%s\n", bad.message.toLocal8Bit().constData());
        return 2;
    }
}

ArgumentWalker::ArgumentWalker(const QStringList &args, Fail fail) : args_(args), fail_(std::move(fail))
{}

bool ArgumentWalker::next()
{
    if (++index_ >= args_.size())
        return false;
    name_ = args_[index_];
    inline_ = name_.startsWith(u"--") && name_.contains(u'=');
    if (inline_) {
        inlineValue_ = name_.section(u'=', 1);
        name_ = name_.section(u'=', 0, 0);
    } else {
        inlineValue_.clear();
    }
    return true;
}

QString ArgumentWalker::value()
{
    if (inline_)
        return inlineValue_;
    if (index_ + 1 >= args_.size() || args_[index_ + 1].startsWith(u"--"))
        fail(QStringLiteral("%1 needs a value").arg(name_));
    return args_[++index_];
}

std::optional<QString> ArgumentWalker::optionalValue()
{
    if (inline_)
        return inlineValue_;
    if (index_ + 1 < args_.size() && !args_[index_ + 1].startsWith(u'-'))
        return args_[++index_];
    return std::nullopt;
}

void ArgumentWalker::noValue()
{
    if (inline_)
        fail(QStringLiteral("%1 takes no value").arg(name_));
}

ModelFlags ArgumentWalker::profile()
{
    QString bad;
    const auto flags = parseModelFlags(value(), &bad);
    if (!flags)
        fail(QStringLiteral("unknown profile '%1'; valid names: %2").arg(bad, modelFlagCliNames().join(u", ")));
    return *flags;
}

qint32 ArgumentWalker::recordLimit()
{
    const QString text = value();
    const auto limit = parseRecordLimit(text);
    if (!limit)
        fail(QStringLiteral("%1 '%2' is not a record limit (a whole number from 1, or limitless)")
                 .arg(name_, text));
    return *limit;
}

void ArgumentWalker::fail(const QString &message) const
{
    fail_(message);
    std::abort(); // fail_ throws
}

} // namespace sorrel::cli
