#pragma once
// What many tests need: acting on a modal dialog, finding a control by its object
// name, a scratch folder, and running a program to its end.

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>
#include <stdexcept>

namespace sorrel::test {

// Long enough for a file dialog on a loaded machine, short of the CTest time-out.
inline constexpr int kModalBoundMs = 30000;

// Calls act on the next modal dialog as soon as it shows, and again while that dialog
// stays up (a file dialog may refuse the first accept while it changes folder); an act
// that spins the event loop is not entered twice. Stops when the dialog finishes. Past
// the bound (no dialog came, or it would not go) it fails the running test and rejects
// the dialog, so that no test hangs.
inline void whenModal(std::function<void(QWidget *)> act, int boundMs = kModalBoundMs)
{
    struct Watch {
        QElapsedTimer since;
        bool busy = false;
        bool seen = false;
    };
    auto watch = std::make_shared<Watch>();
    watch->since.start();
    auto *timer = new QTimer;
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [timer, act, watch, boundMs] {
        if (watch->busy)
            return;
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (watch->since.elapsed() > boundMs) {
            timer->stop();
            timer->deleteLater();
            QTest::qFail(dialog ? "whenModal: the dialog was still up at the bound"
                                : "whenModal: no modal dialog came up within the bound",
                         __FILE__, __LINE__);
            if (dialog)
                dialog->reject();
            return;
        }
        if (!dialog)
            return;
        if (!watch->seen) {
            watch->seen = true;
            QObject::connect(dialog, &QDialog::finished, timer, [timer] {
                timer->stop();
                timer->deleteLater();
            });
        }
        watch->busy = true;
        act(dialog);
        watch->busy = false;
    });
    timer->start();
}

// The control of that object name under top. A missing one fails the running test
// with its name and ends the run: every later step would use it.
template <typename T>
T *control(const QObject &top, const char *name)
{
    T *found = top.findChild<T *>(QString::fromLatin1(name));
    if (!found) {
        const QByteArray message = QByteArray("no control named ") + name + " of the type asked for";
        QTest::qFail(message.constData(), __FILE__, __LINE__);
        throw std::runtime_error(message.toStdString());
    }
    return found;
}

// A scratch folder that goes with the test; path() is empty where none could be made.
class ScratchDir {
public:
    bool isValid() const { return dir_.isValid(); }
    QString path() const { return dir_.path(); }
    QString file(const QString &name) const { return dir_.filePath(name); }
    // Writes a file in the folder; its path, or an empty one where it could not be written.
    QString write(const QString &name, const QByteArray &bytes) const
    {
        QFile f(file(name));
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            return {};
        return f.fileName();
    }

private:
    QTemporaryDir dir_;
};

struct ProgramRun {
    bool finished = false; // false: would not start, or outlived the time-out (then killed)
    QProcess::ExitStatus status = QProcess::CrashExit;
    int exitCode = -1;
    QByteArray out, err;
};

// Runs a program with the system's environment plus env ("NAME=value" each), feeds it
// input and waits for its end.
inline ProgramRun runProgram(const QString &program, const QStringList &args, const QStringList &env = {},
                             const QByteArray &input = {}, int timeoutMs = 60000)
{
    QProcess p;
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    for (const QString &kv : env)
        e.insert(kv.section(u'=', 0, 0), kv.section(u'=', 1));
    p.setProcessEnvironment(e);
    p.start(program, args);
    ProgramRun r;
    if (!p.waitForStarted(timeoutMs))
        return r;
    p.write(input);
    p.closeWriteChannel();
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.finished = true;
    r.status = p.exitStatus();
    r.exitCode = p.exitCode();
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

#ifdef SORREL_BINARY_DIR
inline ProgramRun runSorrelCli(const QStringList &args, const QStringList &env = {}, const QByteArray &input = {})
{
    return runProgram(QStringLiteral(SORREL_BINARY_DIR "/sorrel-cli"), args, env, input);
}
inline ProgramRun runSorrel(const QStringList &args, const QStringList &env = {})
{
    return runProgram(QStringLiteral(SORREL_BINARY_DIR "/sorrel"), args, env);
}
#endif

} // namespace sorrel::test
