#include "base/gui/filedialog.h"

#include <QFileDialog>
#include <QFileIconProvider>
#include <QMimeDatabase>

namespace sorrel {

namespace {

// Folders as Qt shows them (that reads no file once custom folder icons are off); every
// other entry by its name.
class NameOnlyIconProvider : public QFileIconProvider {
public:
    NameOnlyIconProvider() { setOptions(DontUseCustomDirectoryIcons); }

    using QFileIconProvider::icon;
    QIcon icon(const QFileInfo &info) const override
    {
        if (info.isDir())
            return QFileIconProvider::icon(info);
        const QIcon themed = QIcon::fromTheme(byName(info).iconName());
        return themed.isNull() ? QFileIconProvider::icon(File) : themed;
    }

    QString type(const QFileInfo &info) const override
    {
        if (info.isDir())
            return QFileIconProvider::type(info);
        const QMimeType mime = byName(info);
        return mime.comment().isEmpty() ? mime.name() : mime.comment();
    }

private:
    static QMimeType byName(const QFileInfo &info)
    {
        return QMimeDatabase().mimeTypeForFile(info.fileName(), QMimeDatabase::MatchExtension);
    }
};

} // namespace

QFileDialog *newFileDialog(QWidget *parent, const QString &caption)
{
    // The dialogs' models ask it from their own threads until they are destroyed, so it
    // lives as long as the process.
    static auto *const provider = new NameOnlyIconProvider;
    auto *dialog = new QFileDialog(parent, caption);
    // The provider only reaches Qt's own dialog; a platform's native one lists in ways
    // this program cannot steer.
    dialog->setOptions(QFileDialog::DontUseNativeDialog | QFileDialog::DontUseCustomDirectoryIcons);
    dialog->setIconProvider(provider);
    return dialog;
}

} // namespace sorrel
