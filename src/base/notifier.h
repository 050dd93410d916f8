#pragma once
// Every user-facing message goes through one Notifier: modal boxes in the window,
// captured in tests, printed by the command-line tool.

#include <QList>
#include <QString>
#include <exception>
#include <functional>

namespace sorrel {

enum class MessageKind {
    Plain,       // plain box, OK button
    Information, // caption "Information", information icon
    Error,       // caption "Error", error icon
    Failure,     // the general error report: a failure no handler caught, with its own text
};

class Notifier {
public:
    virtual ~Notifier() = default;
    // Blocks until the user has closed the message where there is a user to close it.
    virtual void notify(MessageKind kind, const QString &text) = 0;

    void plain(const QString &text) { notify(MessageKind::Plain, text); }
    void information(const QString &text) { notify(MessageKind::Information, text); }
    void error(const QString &text) { notify(MessageKind::Error, text); }
    void failure(const QString &text) { notify(MessageKind::Failure, text); }
};

// Keeps every message, for tests.
class RecordingNotifier : public Notifier {
public:
    struct Message {
        MessageKind kind;
        QString text;
        bool operator==(const Message &) const = default;
    };
    void notify(MessageKind kind, const QString &text) override { messages.append({kind, text}); }
    QStringList texts() const;
    void clear() { messages.clear(); }
    QList<Message> messages;
};

// Writes each message as one line on stderr, for the command-line tool.
class StderrNotifier : public Notifier {
public:
    void notify(MessageKind kind, const QString &text) override;
};

// A failure thrown by a handler; its text is what the general error report shows.
class Failure : public std::exception {
public:
    explicit Failure(QString text) : text_(std::move(text)), utf8_(text_.toUtf8()) {}
    const QString &text() const { return text_; }
    const char *what() const noexcept override { return utf8_.constData(); }

private:
    QString text_;
    QByteArray utf8_;
};

// Runs a handler; a failure it throws reaches the general error report and the program goes on.
// Returns false when the handler failed.
bool runGuarded(Notifier &notifier, const std::function<void()> &handler);

} // namespace sorrel
