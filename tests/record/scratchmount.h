#pragma once
// A tmpfs of its own where the user may mount one (root); none otherwise. Small ones
// show what a full disk does to a save.

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/statvfs.h>
#include <unistd.h>

class ScratchMount {
public:
    explicit ScratchMount(const QString &options)
    {
        if (geteuid() != 0 || !dir_.isValid())
            return;
        mounted_ = QProcess::execute(QStringLiteral("mount"),
                                     {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"), options,
                                      QStringLiteral("tmpfs"), dir_.path()})
                   == 0;
    }
    ~ScratchMount()
    {
        if (mounted_)
            QProcess::execute(QStringLiteral("umount"), {dir_.path()});
    }
    bool mounted() const { return mounted_; }
    QString path() const { return dir_.path(); }
    QString filePath(const QString &name) const { return dir_.filePath(name); }
    bool makeReadOnly()
    {
        return QProcess::execute(QStringLiteral("mount"),
                                 {QStringLiteral("-o"), QStringLiteral("remount,ro"), dir_.path()})
               == 0;
    }
    qint64 freeBytes() const
    {
        struct statvfs s {};
        return ::statvfs(QFile::encodeName(dir_.path()).constData(), &s) == 0 ? qint64(s.f_bavail) * s.f_frsize
                                                                              : -1;
    }
    // Fills the filesystem with a file of its own until at most bytes are left free.
    bool leaveFree(qint64 bytes)
    {
        QFile filler(dir_.filePath(QStringLiteral(".filler")));
        if (!filler.open(QIODevice::WriteOnly | QIODevice::Append))
            return false;
        const QByteArray page(4096, 'f');
        while (freeBytes() > bytes)
            if (filler.write(page) != page.size() || !filler.flush())
                return false;
        return freeBytes() >= 0;
    }
    // The name leaveFree uses, for listings that leave it out.
    static QString fillerName() { return QStringLiteral(".filler"); }

private:
    QTemporaryDir dir_;
    bool mounted_ = false;
};
