#include "app/gui/messageboxnotifier.h"

#include <QMessageBox>

namespace sorrel {

void MessageBoxNotifier::notify(MessageKind kind, const QString &text)
{
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString caption = owner_ ? owner_->window()->windowTitle() : QString();
    switch (kind) {
    case MessageKind::Plain:
        break;
    case MessageKind::Information:
        icon = QMessageBox::Information;
        caption = QStringLiteral("Information");
        break;
    case MessageKind::Error:
        icon = QMessageBox::Critical;
        caption = QStringLiteral("Error");
        break;
    case MessageKind::Failure:
        icon = QMessageBox::Critical;
        break;
    }
    QMessageBox box(icon, caption, text, QMessageBox::Ok, owner_);
    box.exec();
}

} // namespace sorrel
