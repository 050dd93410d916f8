#pragma once
// A file written beside its target and put in the target's place only once every byte
// is on the disk: a full disk, a failing device or a kill leaves the old file whole.
//
// QSaveFile is not used: in Qt 6.4 its commit() ignores a failed final flush of its
// write buffer, so a small file on a full disk replaced the target with a cut one.

#include "base/outcome.h"

#include <QIODevice>
#include <QString>

#include <functional>

namespace sorrel {

class ReplacingFile : public QIODevice {
public:
    explicit ReplacingFile(const QString &target);
    ~ReplacingFile() override; // an uncommitted file is thrown away
    ReplacingFile(const ReplacingFile &) = delete;
    ReplacingFile &operator=(const ReplacingFile &) = delete;

    // Removes what an interrupted save of this target left, then starts the new file
    // (unnamed where the filesystem allows). Only WriteOnly is taken.
    bool open(OpenMode mode = WriteOnly) override;
    // Writes out, syncs and renames over the target; false (and the target untouched)
    // when any write on the way failed. errorString() then gives the system's reason.
    bool commit();
    void discard();
    bool isSequential() const override { return true; }
    int handle() const { return fd_; }

    // Names an interrupted save of target may leave beside it.
    static bool isLeftover(const QString &target, const QString &entry);

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 len) override;

private:
    bool fail(int error);
    bool writeOut(const char *data, qint64 len);
    bool flushBuffer();
    bool putInPlace();
    void removeLeftovers() const;
    QString freshTempName() const;

    QString target_;
    QString tempName_; // empty while the file has no name
    int fd_ = -1;
    int error_ = 0; // the first failure; sticks
    QByteArray buffer_;
};

// Opens a ReplacingFile for fileName, lets body write it and commits. A failure leaves
// the target as it was and carries the system's reason only: the caller names what failed.
Outcome writeReplacing(const QString &fileName, const std::function<bool(ReplacingFile &)> &body);

} // namespace sorrel
