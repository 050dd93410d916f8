// The program's Open/Save dialog lists a folder without opening the files in it.

#include "app/gui/tfcomm.h"
#include "base/gui/filedialog.h"
#include "record/gui/reportpreview.h"
#include "record/report.h"
#include "support/testhelpers.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <condition_variable>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace sorrel;
using namespace sorrel::test;

namespace {

// Names of the entries of a folder that anyone opened while this watches.
class OpenWatch {
public:
    explicit OpenWatch(const QString &folder) : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
    {
        if (fd_ >= 0)
            inotify_add_watch(fd_, QFile::encodeName(folder).constData(), IN_OPEN);
    }
    ~OpenWatch()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    bool valid() const { return fd_ >= 0; }
    QStringList opened()
    {
        alignas(inotify_event) char buffer[4096];
        ssize_t n;
        while ((n = ::read(fd_, buffer, sizeof buffer)) > 0)
            for (char *p = buffer; p < buffer + n;) {
                const auto *event = reinterpret_cast<const inotify_event *>(p);
                if (event->len > 0) // the folder itself has no name here
                    names_ << QFile::decodeName(event->name);
                p += sizeof(inotify_event) + event->len;
            }
        return names_;
    }

private:
    int fd_;
    QStringList names_;
};

// Whoever opens the FIFO to read waits for a writer for ever, in the dialog's thread or in
// the main one (QFileSystemModel::index() types an entry on the spot), where no timer
// would fire again. After a grace period this thread plays the writer, again and again,
// so the test goes on to fail instead of hanging.
class FifoWatchdog {
public:
    FifoWatchdog(const QString &fifo, std::chrono::milliseconds grace)
        : path_(QFile::encodeName(fifo)), thread_([this, grace] { run(grace); })
    {}
    ~FifoWatchdog()
    {
        {
            std::lock_guard lock(mutex_);
            done_ = true;
        }
        wake_.notify_one();
        thread_.join();
    }
    bool released() const { return released_; }

private:
    void run(std::chrono::milliseconds grace)
    {
        std::unique_lock lock(mutex_);
        if (wake_.wait_for(lock, grace, [this] { return done_; }))
            return;
        while (!wake_.wait_for(lock, std::chrono::milliseconds(50), [this] { return done_; })) {
            const int fd = ::open(path_.constData(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0) { // there was a reader
                released_ = true;
                ::close(fd);
            }
        }
    }

    QByteArray path_;
    std::atomic<bool> released_ = false;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool done_ = false;
    std::thread thread_;
};

} // namespace

class TestFileDialog : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void listsSpecialFilesWithoutOpening();
    void everyDialogIsThatOne_data();
    void everyDialogIsThatOne();
};

void TestFileDialog::initTestCase()
{
    // Qt's dialog reopens the folder it was last closed in, from the user's settings.
    QStandardPaths::setTestModeEnabled(true);
}

void TestFileDialog::listsSpecialFilesWithoutOpening()
{
    ScratchDir dir;
    QVERIFY(dir.isValid());
    const QString fifo = dir.file(QStringLiteral("pipe"));
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    // A name that says nothing of its type, as /proc/kmsg: Qt's provider reads those.
    for (const QString &name : {QStringLiteral("kmsg"), QStringLiteral("readings.txt")}) {
        QFile f(dir.file(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("12.34\tlux\n");
    }
    OpenWatch watch(dir.path());
    QVERIFY(watch.valid());

    // Outlives the dialog, whose destructor waits for its thread.
    const FifoWatchdog watchdog(fifo, std::chrono::seconds(10));
    const std::unique_ptr<QFileDialog> dialog(newFileDialog(nullptr, QStringLiteral("Open")));
    QVERIFY(dialog->testOption(QFileDialog::DontUseNativeDialog));
    auto *model = dialog->findChild<QFileSystemModel *>();
    QVERIFY(model);
    dialog->setDirectory(dir.path());
    dialog->show();

    // Listed when every entry has its type: the model's thread got past each of them.
    const auto typed = [&](const QString &name) {
        const QModelIndex index = model->index(dir.file(name));
        return index.isValid() && !model->type(index).isEmpty();
    };
    QTRY_VERIFY_WITH_TIMEOUT(typed(QStringLiteral("pipe")) && typed(QStringLiteral("kmsg"))
                                 && typed(QStringLiteral("readings.txt")),
                             10000);
    QVERIFY2(!watchdog.released(), "the listing hung opening the FIFO");
    QCOMPARE(model->rowCount(model->index(dir.path())), 3);
    QCOMPARE(watch.opened(), QStringList());
}

void TestFileDialog::everyDialogIsThatOne_data()
{
    QTest::addColumn<QString>("dialog");
    for (const char *name : {"SaveDialog2", "OpenDialog1", "SavePictureDialog1", "Save Report"})
        QTest::newRow(name) << name;
}

// The window's dialogs and the report's are made where the test above looks.
void TestFileDialog::everyDialogIsThatOne()
{
    QFETCH(QString, dialog);
    const std::unique_ptr<QFileDialog> reference(newFileDialog(nullptr));
    RecordingNotifier notifier;
    TFCOMM w(AppOptions{}, notifier);
    w.readings().append({1, QStringLiteral("10:15:02"), QStringLiteral("1.234"), QStringLiteral("V")});
    const QuickRep5 report(w.readings(), QStringLiteral("d"));
    ReportPreview preview(report, notifier);

    // Looks at the next modal file dialog and closes it (or whatever else is modal).
    const QAbstractFileIconProvider *provider = nullptr;
    bool native = true;
    QTimer look;
    look.setInterval(20);
    connect(&look, &QTimer::timeout, this, [&] {
        auto *modal = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!modal)
            return;
        if (auto *shown = qobject_cast<QFileDialog *>(modal)) {
            provider = shown->iconProvider();
            native = !shown->testOption(QFileDialog::DontUseNativeDialog);
        }
        modal->reject();
    });
    look.start();
    if (dialog == u"Save Report")
        preview.SavePdf->trigger();
    else
        control<QAbstractButton>(w, dialog == u"SaveDialog2"   ? "saveas"
                                    : dialog == u"OpenDialog1" ? "OpenDataFiles"
                                                               : "BtSave")
            ->click();
    QVERIFY(provider);
    QCOMPARE(provider, reference->iconProvider());
    QVERIFY(!native);
}

QTEST_MAIN(TestFileDialog)
#include "tst_filedialog.moc"
