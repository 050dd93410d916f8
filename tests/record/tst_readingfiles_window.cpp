// Reading files from the main window: the dialogs, "Save" in the menu, and the handlers.

#include "app/gui/tfcomm.h"
#include "record/scratchmount.h"
#include "support/testhelpers.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QProgressDialog>
#include <QTest>
#include <QTimer>

#include <cerrno>
#include <memory>

using namespace sorrel;
using namespace sorrel::test;

namespace {

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestReadingFilesWindow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void dialogs_data();
    void dialogs();
    void saveFromMenu();
    void loadThroughHandler();
    void saveFailure_data();
    void saveFailure();

private:
    ScratchDir dir_;
    RecordingNotifier notifier_;
    std::unique_ptr<TFCOMM> window_;
};

void TestReadingFilesWindow::init()
{
    QVERIFY(dir_.isValid());
    notifier_.clear();
    window_ = std::make_unique<TFCOMM>(AppOptions{}, notifier_);
    window_->readings().append({1, QStringLiteral("10:15:02"), QStringLiteral("1.234"), QStringLiteral("V")});
    window_->readings().append({2, QStringLiteral("10:15:03"), QString(), QStringLiteral("V")});
}

void TestReadingFilesWindow::cleanup()
{
    window_.reset();
}

void TestReadingFilesWindow::dialogs_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("filters");
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<bool>("save");
    QTest::newRow("SaveDialog2") << "SaveDialog2"
                                 << QStringList{"Excel File(*.xls)", "XML(*.xml)", "Txt File(*.txt)"} << "xls"
                                 << true;
    QTest::newRow("OpenDialog1") << "OpenDialog1"
                                 << QStringList{"Excel File(*.xls)", "XML (*.xml)", "Txt File(*.txt)"} << ""
                                 << false;
    QTest::newRow("SavePictureDialog1") << "SavePictureDialog1" << QStringList{"Bitmaps (*.bmp)"} << "bmp" << true;
}

// Each button shows its own dialog, first filter selected; cancelling does nothing.
void TestReadingFilesWindow::dialogs()
{
    QFETCH(QString, name);
    QFETCH(QStringList, filters);
    QFETCH(QString, suffix);
    QFETCH(bool, save);
    QString shown, selected, defaultSuffix;
    QStringList nameFilters;
    int mode = -1;
    bool confirms = false;
    whenModal([&](QWidget *w) {
        if (auto *dialog = qobject_cast<QFileDialog *>(w); dialog && shown.isEmpty()) {
            shown = dialog->objectName();
            nameFilters = dialog->nameFilters();
            selected = dialog->selectedNameFilter();
            defaultSuffix = dialog->defaultSuffix();
            mode = dialog->acceptMode();
            confirms = !dialog->testOption(QFileDialog::DontConfirmOverwrite);
        }
        qobject_cast<QDialog *>(w)->reject();
    });
    QAbstractButton *button = name == u"SaveDialog2"   ? control<QAbstractButton>(*window_, "saveas")
                              : name == u"OpenDialog1" ? control<QAbstractButton>(*window_, "OpenDataFiles")
                                                       : control<QAbstractButton>(*window_, "BtSave");
    QVERIFY(button);
    button->click();
    QCOMPARE(shown, name);
    QCOMPARE(nameFilters, filters);
    QCOMPARE(selected, filters.constFirst());
    QCOMPARE(defaultSuffix, suffix);
    QCOMPARE(mode, int(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen));
    QVERIFY(confirms);
    QVERIFY(notifier_.messages.isEmpty());
    QCOMPARE(window_->readings().rowCount(), qsizetype(2));
}

// "Save" runs the save dialog: a name without extension gets ".xls" (tab-separated), the
// name is cleared before the next use, and cancelling does nothing.
void TestReadingFilesWindow::saveFromMenu()
{
    const QString expected = dir_.file(QStringLiteral("readings.xls"));
    whenModal([&](QWidget *w) {
        auto *dialog = qobject_cast<QFileDialog *>(w);
        QVERIFY(dialog);
        // Typed, as a user would: selectFile() leaves a focused name edit alone.
        auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        QVERIFY(edit);
        edit->setText(dir_.file(QStringLiteral("readings")));
        QMetaObject::invokeMethod(dialog, "accept");
    });
    control<QAction>(*window_, "Save1")->trigger();
    QCOMPARE(readFile(expected),
             QByteArray("No\tTime\tValue\tUnit\r\n1\t10:15:02\t1.234\tV\r\n2\t10:15:03\tNULL\tV\r\n"));
    QCOMPARE(notifier_.messages,
             (QList<RecordingNotifier::Message>{
                 {MessageKind::Information, "Save table to specified file: " + expected + " Scuss!"}}));
    QVERIFY(!window_->findChild<QProgressDialog *>()); // gone before the message

    QString nameShown = QStringLiteral("<none>");
    whenModal([&](QWidget *w) {
        auto *edit = w->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        if (edit && nameShown == u"<none>")
            nameShown = edit->text();
        qobject_cast<QDialog *>(w)->reject();
    });
    control<QAction>(*window_, "Save1")->trigger();
    QCOMPARE(nameShown, QString());
    QCOMPARE(notifier_.messages.size(), 1);
}

void TestReadingFilesWindow::loadThroughHandler()
{
    const QString txt = dir_.file(QStringLiteral("in.txt"));
    const QString xml = dir_.file(QStringLiteral("in.xml"));
    window_->saveReadingFileTo(txt);
    window_->saveReadingFileTo(xml);
    notifier_.clear();

    window_->loadReadingFileFrom(txt); // appends
    QCOMPARE(window_->readings().rowCount(), qsizetype(4));
    QCOMPARE(window_->readings().row(3).value, QStringLiteral("NULL"));
    window_->loadReadingFileFrom(xml); // replaces
    QCOMPARE(window_->readings().rowCount(), qsizetype(2));
    QVERIFY(notifier_.messages.isEmpty());

    window_->loadReadingFileFrom(dir_.file(QStringLiteral("missing.txt")));
    QCOMPARE(notifier_.messages,
             (QList<RecordingNotifier::Message>{{MessageKind::Error, "Failed to Load File!"}}));
    QCOMPARE(window_->readings().rowCount(), qsizetype(2));
}

void TestReadingFilesWindow::saveFailure_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("fullDisk"); // else a missing folder
    QTest::newRow("xml, missing folder") << "out.xml" << false;
    QTest::newRow("txt, full disk") << "out.txt" << true;
    QTest::newRow("xml, full disk") << "out.xml" << true;
}

// A failed text save is an error box naming the reason on its second line; a failed XML
// save reaches the general error report. No success box follows, the old file stays.
void TestReadingFilesWindow::saveFailure()
{
    QFETCH(QString, name);
    QFETCH(bool, fullDisk);
    std::unique_ptr<ScratchMount> mount;
    QString file = dir_.file(QStringLiteral("no/such/dir/") + name);
    const QByteArray old = "old table\r\n";
    if (fullDisk) {
        mount = std::make_unique<ScratchMount>(QStringLiteral("size=16k"));
        if (!mount->mounted())
            QSKIP("mounting a small tmpfs needs root");
        file = mount->filePath(name);
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(old) == old.size());
        f.close();
        QVERIFY(mount->leaveFree(0));
    }
    window_->saveReadingFileTo(file);
    if (fullDisk) {
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), old);
    }
    QCOMPARE(notifier_.messages.size(), 1);
    const QString why = qt_error_string(fullDisk ? ENOSPC : ENOENT);
    if (name.endsWith(u".xml")) {
        QCOMPARE(notifier_.messages[0].kind, MessageKind::Failure);
        QCOMPARE(notifier_.messages[0].text, QStringLiteral("Cannot save \"%1\": %2").arg(file, why));
    } else {
        QCOMPARE(notifier_.messages[0].kind, MessageKind::Error);
        QCOMPARE(notifier_.messages[0].text, "Could not save table to specified file: " + file + u'\n' + why);
    }
}

QTEST_MAIN(TestReadingFilesWindow)
#include "tst_readingfiles_window.moc"
