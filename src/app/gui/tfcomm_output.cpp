#include "app/gui/tfcomm.h"

#include "base/gui/filedialog.h"

#include "record/gui/chartpicture.h"
#include "record/gui/charttoolbar.h"
#include "record/gui/recordpanel.h"
#include "record/gui/reportpreview.h"
#include "record/gui/trendchartview.h"
#include "record/readingfiles.h"
#include "record/recorder.h"
#include "record/report.h"

#include <QAction>
#include <QFileDialog>
#include <QLineEdit>
#include <QProgressDialog>

namespace sorrel {

namespace {

// "Description|pattern|..." as name filters; a description that already ends with its
// pattern in brackets is kept as it stands.
QStringList nameFilters(const QString &pairs)
{
    const QStringList parts = pairs.split(u'|');
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString &description = parts[i];
        const QString &pattern = parts[i + 1];
        out << (description.endsWith(u'(' + pattern + u')') ? description
                                                            : description + QStringLiteral(" (") + pattern + u')');
    }
    return out;
}

QFileDialog *fileDialog(QWidget *owner, const char *name, QFileDialog::AcceptMode mode, const char *filter,
                        const char *suffix)
{
    QFileDialog *dialog = newFileDialog(owner);
    dialog->setObjectName(QString::fromLatin1(name));
    dialog->setAcceptMode(mode);
    dialog->setFileMode(mode == QFileDialog::AcceptSave ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog->setNameFilters(nameFilters(QString::fromLatin1(filter)));
    if (suffix)
        dialog->setDefaultSuffix(QString::fromLatin1(suffix));
    return dialog;
}

// The dialogs are made on first use: each lists its folder as soon as it exists.
QFileDialog *made(QFileDialog *&slot, QWidget *owner, const char *name, QFileDialog::AcceptMode mode,
                  const char *filter, const char *suffix)
{
    if (!slot)
        slot = fileDialog(owner, name, mode, filter, suffix);
    return slot;
}

QString chosenFile(QFileDialog *dialog)
{
    dialog->selectNameFilter(dialog->nameFilters().value(0));
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty())
        return {};
    return dialog->selectedFiles().constFirst();
}

// A progress dialog for a long save or load; it shows itself only when the work runs
// longer than about half a second, and goes away before any message is shown.
class FileWork : public Notifier {
public:
    FileWork(QWidget *owner, const QString &label, Notifier &notifier, int delayMs = 500)
        : dialog_(std::make_unique<QProgressDialog>(label, QString(), 0, kSteps, owner)), notifier_(notifier)
    {
        dialog_->setWindowModality(Qt::WindowModal);
        dialog_->setMinimumDuration(delayMs);
        dialog_->setCancelButton(nullptr);
        dialog_->setAutoClose(false);
        dialog_->setAutoReset(false);
        dialog_->setValue(0);
    }
    FileProgress progress()
    {
        return [this](qint64 done, qint64 total) {
            if (dialog_ && total > 0)
                dialog_->setValue(int(std::clamp<qint64>(done * kSteps / total, 1, kSteps - 1)));
        };
    }
    void notify(MessageKind kind, const QString &text) override
    {
        dialog_.reset();
        notifier_.notify(kind, text);
    }

private:
    static constexpr int kSteps = 1000;
    std::unique_ptr<QProgressDialog> dialog_;
    Notifier &notifier_;
};

} // namespace

void TFCOMM::setupOutput()
{
    // The buttons come with the record panel and the chart; "Save" is in the menu.
    connect(recordPanel_, &RecordPanel::saveRequested, this, [this] { saveasClick(); });
    connect(Save1, &QAction::triggered, this, [this] { saveasClick(); });
    connect(recordPanel_, &RecordPanel::openRequested, this, [this] { SpeedButton2Click(); });
    connect(recordPanel_, &RecordPanel::printRequested, this, [this] { BtPrintClick(); });
    connect(chartToolbar_, &ChartToolbar::saveRequested, this, [this] { BtSaveClick(); });
}

void TFCOMM::saveasClick()
{
    made(SaveDialog2, this, "SaveDialog2", QFileDialog::AcceptSave,
         "Excel File(*.xls)|*.xls|XML(*.xml)|*.xml|Txt File(*.txt)|*.txt", "xls");
    // selectFile() ignores an empty name; Qt's own dialog keeps the last one in its edit.
    if (auto *edit = SaveDialog2->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
        edit->clear();
    const QString name = chosenFile(SaveDialog2);
    if (!name.isEmpty())
        saveReadingFileTo(name);
}

void TFCOMM::saveReadingFileTo(const QString &fileName)
{
    {
        FileWork work(this, QStringLiteral("Saving readings..."), notifier_);
        runGuarded(work, [&] { SaveReadingFile(cds1, fileName, work.progress()).tell(work); });
    }
    update();
}

void TFCOMM::SpeedButton2Click()
{
    const QString name = chosenFile(made(OpenDialog1, this, "OpenDialog1", QFileDialog::AcceptOpen,
                                         "Excel File(*.xls)|*.xls|XML (*.xml)|*.xml|Txt File(*.txt)|*.txt",
                                         nullptr));
    if (!name.isEmpty())
        loadReadingFileFrom(name);
}

void TFCOMM::loadReadingFileFrom(const QString &fileName)
{
    {
        FileWork work(this, QStringLiteral("Loading readings..."), notifier_, loadProgressDelayMs);
        // The progress runs the event loop: frames still reach the panel, but the
        // recorder holds them off until the file is in.
        runGuarded(work, [&] { recording_->recorder().loadReadingFile(fileName, work.progress()).tell(work); });
    }
    update();
}

void TFCOMM::BtPrintClick()
{
    // While the flag is up the bridge poll reads but does not decode.
    bool &open = session_->state().previewOpen;
    open = true;
    struct Lower {
        bool &flag;
        ~Lower() { flag = false; }
    } lower{open};
    const QuickRep5 report(cds1, QuickRep5::shortDate(QDate::currentDate()));
    ReportPreview preview(report, notifier_, this);
    preview.exec();
    update();
}

void TFCOMM::BtSaveClick()
{
    if (!SavePictureDialog1) {
        made(SavePictureDialog1, this, "SavePictureDialog1", QFileDialog::AcceptSave, "Bitmaps (*.bmp)|*.bmp",
             "bmp");
        SavePictureDialog1->setSizeGripEnabled(true);
    }
    const QString name = chosenFile(SavePictureDialog1);
    if (!name.isEmpty())
        saveChartPictureTo(name);
}

void TFCOMM::saveChartPictureTo(const QString &fileName)
{
    runGuarded(notifier_, [&] { saveChartPicture(Chtshow, fileName).tell(notifier_); });
}

} // namespace sorrel
