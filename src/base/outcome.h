#pragma once
// What an operation that can fail came to: success (with what the user is told of it, if
// anything), a failure carrying the text the user is told and the system's reason, or a
// cancel by the user. Operations return one and show nothing; their callers tell the user
// (the window in boxes, the command-line tool its failures on stderr) through the Notifier.

#include "base/notifier.h"

#include <QString>

namespace sorrel {

// A message with a line of detail under it (in the same box), when there is one.
inline QString withDetail(const QString &message, const QString &detail)
{
    return detail.isEmpty() ? message : message + u'\n' + detail;
}

class Outcome {
public:
    static Outcome success() { return Outcome(); }
    // A success the window tells the user of.
    static Outcome done(QString text, MessageKind shownAs)
    {
        Outcome o;
        o.text_ = std::move(text);
        o.kind_ = shownAs;
        return o;
    }
    static Outcome cancelled()
    {
        Outcome o;
        o.state_ = State::Cancelled;
        return o;
    }
    // Shown as a message of kind shownAs: the text, the reason on a second line.
    static Outcome failure(QString text, QString reason = {}, MessageKind shownAs = MessageKind::Error)
    {
        return failure(std::move(text), QStringLiteral("\n"), std::move(reason), shownAs);
    }
    // The same with the reason on the text's own line, after separator.
    static Outcome failure(QString text, QString separator, QString reason, MessageKind shownAs)
    {
        Outcome o;
        o.state_ = State::Failed;
        o.text_ = std::move(text);
        o.separator_ = std::move(separator);
        o.reason_ = std::move(reason);
        o.kind_ = shownAs;
        return o;
    }

    bool ok() const { return state_ == State::Succeeded; }
    explicit operator bool() const { return ok(); }
    bool failed() const { return state_ == State::Failed; }
    bool wasCancelled() const { return state_ == State::Cancelled; }

    // A failure's text, or what a success tells.
    const QString &text() const { return text_; }
    const QString &reason() const { return reason_; }
    MessageKind kind() const { return kind_; }
    // The message as the user is shown it: the text, and the reason where there is one.
    QString message() const { return reason_.isEmpty() ? text_ : text_ + separator_ + reason_; }

    // Tells the user of a failure (nothing for success or a cancel); returns ok().
    bool tellFailure(Notifier &notifier) const
    {
        if (failed())
            notifier.notify(kind_, message());
        return ok();
    }
    // Tells the user of a failure or of a success that has a text; returns ok().
    bool tell(Notifier &notifier) const
    {
        if (ok() && !text_.isEmpty())
            notifier.notify(kind_, text_);
        return tellFailure(notifier);
    }

private:
    enum class State { Succeeded, Failed, Cancelled };
    Outcome() = default;

    State state_ = State::Succeeded;
    QString text_;
    QString separator_;
    QString reason_;
    MessageKind kind_ = MessageKind::Error;
};

} // namespace sorrel
