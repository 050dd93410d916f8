#pragma once
// Helpers of the full-disk and kill -9 tests of sorrel-cli: running it, reading back
// what it left, and a meter on a pseudo-terminal.

#include "base/notifier.h"
#include "link/pseudoterminal.h"
#include "link/ternframeencoder.h"
#include "record/readingfiles.h"
#include "record/scratchmount.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>

#include <unistd.h>

namespace crashcheck {

using namespace sorrel;

inline void startCli(QProcess &p, const QStringList &args)
{
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    e.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    p.setProcessEnvironment(e);
    p.setStandardOutputFile(QProcess::nullDevice());
    p.start(QStringLiteral(SORREL_BINARY_DIR "/sorrel-cli"), args);
}

inline QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

inline TernDisplay reading(int value)
{
    TernDisplay d = *TernDisplay::fromText(QString::number(value));
    d.set(TernBit::LUX);
    return d;
}

// n readings through a USB bridge, from first up; each becomes a row.
inline QByteArray bridgeCapture(int n, int first)
{
    QByteArray out;
    for (int i = 0; i < n; ++i)
        out += encodeTernBridgeFrame(reading(first + i % 5000));
    return out;
}

inline QStringList decodeArgs(const QString &capture, const QString &target)
{
    return {"decode", "--link", "bridge", "--record", "--limit", "limitless", "--save", target, capture};
}

// A capture has no clock: rows take the time of the run. Compared without it.
inline QByteArray withoutTimes(const QByteArray &file)
{
    static const QRegularExpression time(QStringLiteral("\\d\\d:\\d\\d:\\d\\d"));
    return QString::fromLatin1(file).replace(time, QStringLiteral("--:--:--")).toLatin1();
}

// What a folder holds besides the target, the filler of a scratch mount left out.
inline QStringList besides(const QString &target)
{
    const QFileInfo info(target);
    QStringList others = info.dir().entryList(QDir::Files | QDir::Hidden | QDir::System);
    others.removeAll(info.fileName());
    others.removeAll(ScratchMount::fillerName());
    return others;
}

// Whether the process has a file open in folder: the new file of a save, named or not.
inline bool writesIn(qint64 pid, const QString &folder)
{
    const QString fds = QStringLiteral("/proc/%1/fd").arg(pid);
    const QByteArray prefix = QFile::encodeName(folder) + '/';
    for (const QString &fd : QDir(fds).entryList(QDir::Files | QDir::System)) {
        char link[4096];
        const ssize_t n = ::readlink(QFile::encodeName(fds + u'/' + fd).constData(), link, sizeof link);
        if (n > 0 && QByteArray(link, int(n)).startsWith(prefix))
            return true;
    }
    return false;
}

inline void pauseMicroseconds(qint64 us)
{
    QElapsedTimer t;
    t.start();
    while (t.nsecsElapsed() < us * 1000)
        ::usleep(20);
}

// A text reading file holds whole rows only: the header, then lines of four fields, every
// line ended. An empty file is a log killed before its header.
inline bool wholeRows(const QByteArray &file, QString *why)
{
    if (file.isEmpty())
        return true;
    if (!file.endsWith("\r\n")) {
        *why = QStringLiteral("torn end: ...%1").arg(QString::fromLatin1(file.right(30)));
        return false;
    }
    const QList<QByteArray> lines = file.chopped(2).split('\n');
    static const QRegularExpression row(QStringLiteral("^\\d+\t\\d\\d:\\d\\d:\\d\\d\t[^\t\r\n]+\t[^\t\r\n]+\r$"));
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString line = QString::fromLatin1(lines[i] + (i + 1 < lines.size() ? "" : "\r"));
        if (i == 0 ? line != QLatin1String("No\tTime\tValue\tUnit\r") : !row.match(line).hasMatch()) {
            *why = QStringLiteral("line %1: %2").arg(i + 1).arg(line);
            return false;
        }
    }
    return true;
}

inline bool loadsWithoutError(const QString &file, qsizetype *rows)
{
    ReadingTable t;
    RecordingNotifier messages;
    const bool ok = LoadReadingFile(file, t, false).tell(messages) && messages.messages.isEmpty();
    *rows = t.rowCount();
    return ok;
}

// Feeds Tern frames counting up into a pseudo-terminal, a few at a time.
struct Meter {
    PseudoTerminal pty;
    int value = 1000;
    void feed(int frames)
    {
        QByteArray bytes;
        for (int i = 0; i < frames; ++i)
            bytes += encodeTernSerialFrame(reading(1000 + (value + i) % 9000));
        if (pty.write(bytes))
            value += frames;
    }
};

} // namespace crashcheck
