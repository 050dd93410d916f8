#include "base/notifier.h"

#include <cstdio>

namespace sorrel {

QStringList RecordingNotifier::texts() const
{
    QStringList out;
    for (const Message &m : messages)
        out << m.text;
    return out;
}

void StderrNotifier::notify(MessageKind kind, const QString &text)
{
    const char *prefix = "";
    switch (kind) {
    case MessageKind::Plain:
        prefix = "";
        break;
    case MessageKind::Information:
        prefix = "Information: ";
        break;
    case MessageKind::Error:
        prefix = "Error: ";
        break;
    case MessageKind::Failure:
        prefix = "Failure: ";
        break;
    }
    std::fprintf(stderr, "%s%s\n", prefix, text.toLocal8Bit().constData());
    std::fflush(stderr);
}

bool runGuarded(Notifier &notifier, const std::function<void()> &handler)
{
    try {
        handler();
        return true;
    } catch (const Failure &f) {
        notifier.failure(f.text());
    } catch (const std::exception &e) {
        notifier.failure(QString::fromLocal8Bit(e.what()));
    }
    return false;
}

} // namespace sorrel
