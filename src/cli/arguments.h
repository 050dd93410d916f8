#pragma once
// Walks a command's arguments, each option as "--name value" or "--name=value", with
// the option values the commands share.

#include "base/profile.h"

#include <QStringList>
#include <functional>
#include <optional>

namespace sorrel::cli {

// A bad option or input: the command says it on stderr and ends with status 2.
struct BadOption {
    QString message;
};

// What every command does around its work: --help or -h anywhere prints usage
// (status 0); a BadOption thrown by body is said on stderr (status 2); otherwise
// body's status.
int runCommand(const QStringList &args, const char *usage, const std::function<int()> &body);

class ArgumentWalker {
public:
    // Reports a bad argument; must throw.
    using Fail = std::function<void(const QString &)>;

    ArgumentWalker(const QStringList &args, Fail fail);

    // Steps to the next argument; false after the last.
    bool next();
    // The argument, "=value" cut off an option.
    const QString &name() const { return name_; }
    // The argument as given.
    const QString &given() const { return args_[index_]; }
    bool hasInlineValue() const { return inline_; }

    // The option's value. An option that follows is no value: "--out --demo" lacks the name.
    QString value();
    // The option's value when one is given: inline, or a following word that is no option.
    std::optional<QString> optionalValue();
    // Refuses "--name=..." on an option that takes no value.
    void noValue();

    ModelFlags profile();
    // A record limit: a whole number from 1 up, or a caption of the "Record" menu's entries.
    qint32 recordLimit();

    [[noreturn]] void fail(const QString &message) const;

private:
    const QStringList &args_;
    Fail fail_;
    qsizetype index_ = -1;
    QString name_, inlineValue_;
    bool inline_ = false;
};

} // namespace sorrel::cli
