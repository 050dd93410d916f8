#include "record/gui/recordpanel.h"

#include "record/gui/digitkeyfilter.h"
#include "record/gui/recordwidgets.h"
#include "record/recorder.h"

#include <QAction>
#include <QActionGroup>
#include <QCheckBox>
#include <QLineEdit>
#include <QTimer>
#include <QToolButton>

namespace sorrel {

RecordPanel::RecordPanel(const QFont &windowFont, QWidget *parent) : QFrame(parent)
{
    setObjectName(QStringLiteral("RecordPanel"));
    setFrameStyle(QFrame::Panel | QFrame::Raised);
    setGeometry(1, 272, 398, 41);
    QFont panelFont = windowFont;
    panelFont.setBold(false);
    setFont(panelFont);

    RepeatSet = new QCheckBox(QStringLiteral("Repeat"), this);
    RepeatSet->setObjectName(QStringLiteral("RepeatSet"));
    RepeatSet->setToolTip(QStringLiteral("Repeage Record"));
    RepeatSet->setChecked(true);
    // 54 wide as laid out, a few pixels more where this style's box needs them to show
    // "Repeat" whole; RecordSI starts at 73.
    RepeatSet->setGeometry(11, 13, qBound(54, RepeatSet->sizeHint().width(), 61), 20);

    RecordSI = new QCheckBox(QStringLiteral("Sampling Interval                  'S"), this);
    RecordSI->setObjectName(QStringLiteral("RecordSI"));
    RecordSI->setGeometry(73, 13, 184, 20);

    // Set before the change handler is bound: the countdown starts at 0.
    RecordSITime = silverEdit(this, "RecordSITime", QStringLiteral("1"), QRect(191, 12, 27, 21));
    RecordSITime->raise(); // over the blank part of the RecordSI caption

    RecordNew = pictureButton(this, "RecordNew", RecordIcon::New, "Close Data", QRect(272, 12, 23, 21));
    OpenDataFiles = pictureButton(this, "OpenDataFiles", RecordIcon::Open, "Open old data files",
                                  QRect(302, 12, 23, 21));
    saveas = pictureButton(this, "saveas", RecordIcon::Save, "Save data files", QRect(332, 12, 23, 21));
    BtPrint = pictureButton(this, "BtPrint", RecordIcon::Print, "Print", QRect(362, 12, 22, 21));

    RecordSITime->installEventFilter(new DigitKeyFilter(this));

    connect(RecordNew, &QAbstractButton::clicked, this, &RecordPanel::newRequested);
    connect(OpenDataFiles, &QAbstractButton::clicked, this, &RecordPanel::openRequested);
    connect(saveas, &QAbstractButton::clicked, this, &RecordPanel::saveRequested);
    connect(BtPrint, &QAbstractButton::clicked, this, &RecordPanel::printRequested);

    Trecord = new QTimer(this);
    Trecord->setObjectName(QStringLiteral("Trecord"));
    Trecord->setInterval(1000);
}

void RecordPanel::attach(Recorder &recorder)
{
    recorder_ = &recorder;
    recorder.setRepeat(RepeatSet->isChecked());
    recorder.setSamplingInterval(RecordSI->isChecked());
    connect(RepeatSet, &QCheckBox::toggled, this, [this](bool on) { recorder_->setRepeat(on); });
    connect(RecordSI, &QCheckBox::toggled, this, [this](bool on) { recorder_->setSamplingInterval(on); });
    connect(RecordSITime, &QLineEdit::textChanged, this,
            [this] { recorder_->RecordSITimeChange(RecordSITime->text()); });
    connect(Trecord, &QTimer::timeout, this, [this] { recorder_->TrecordTimer(); });
    Trecord->start();
}

void RecordPanel::bindRecordLimits(const QList<QAction *> &entries)
{
    Q_ASSERT(size_t(entries.size()) == kRecordLimits.size());
    recordLimits_ = new QActionGroup(this);
    recordLimits_->setExclusive(true);
    for (size_t i = 0; i < kRecordLimits.size(); ++i) {
        QAction *a = entries[qsizetype(i)];
        a->setObjectName(QString::fromLatin1(kRecordLimits[i].name));
        a->setCheckable(true);
        a->setChecked(kRecordLimits[i].limit == kStartRecordLimit);
        recordLimits_->addAction(a);
        const qint32 limit = kRecordLimits[i].limit;
        // N10001Click ... limitessClick
        connect(a, &QAction::triggered, this, [this, limit] { recorder_->setRecordLimit(limit); });
    }
}

} // namespace sorrel
