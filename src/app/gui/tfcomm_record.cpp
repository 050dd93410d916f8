#include "app/gui/tfcomm.h"

#include "base/decimalseparator.h"
#include "record/chartcontrol.h"
#include "record/gui/digitkeyfilter.h"
#include "record/gui/readinggridmodel.h"
#include "record/gui/readinggridview.h"
#include "record/gui/recordicons.h"
#include "record/gui/trendchartview.h"
#include "record/recorder.h"
#include "record/recording.h"

#include <QActionGroup>
#include <QCheckBox>
#include <QFrame>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>

namespace sorrel {

namespace {

constexpr int kStartPageSize = 100;

QToolButton *pictureButton(QWidget *parent, const char *name, RecordIcon icon, const char *hint,
                           QRect geometry)
{
    auto *b = new QToolButton(parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setIcon(recordIcon(icon));
    b->setToolTip(QString::fromLatin1(hint));
    b->setGeometry(geometry);
    b->setFocusPolicy(Qt::NoFocus);
    return b;
}

QLineEdit *silverEdit(QWidget *parent, const char *name, const QString &text, QRect geometry)
{
    auto *e = new QLineEdit(parent);
    e->setObjectName(QString::fromLatin1(name));
    e->setText(text);
    e->setGeometry(geometry);
    QPalette pal = e->palette();
    pal.setColor(QPalette::Base, QColor(192, 192, 192));
    e->setPalette(pal);
    e->setTextMargins(0, 0, 0, 0);
    return e;
}

} // namespace

ReadingGridView *TFCOMM::readingGrid() const
{
    return static_cast<ReadingGridView *>(DBGrid1);
}

TrendChartView *TFCOMM::trendChart() const
{
    return static_cast<TrendChartView *>(Chtshow);
}

void TFCOMM::setupRecording()
{
    buildRecordPanel();

    auto *grid = new ReadingGridView(client_);
    grid->setObjectName(QStringLiteral("DBGrid1"));
    grid->setGeometry(1, 312, 398, 233);
    gridModel_ = new ReadingGridModel(cds1, grid);
    grid->setModel(gridModel_);
    DBGrid1 = grid;

    auto *chart = new TrendChartView(client_);
    chart->setGeometry(400, 152, 321, 394);
    Chtshow = chart;
    buildChartToolbar();

    connect(New1, &QAction::triggered, this, [this] { RecordNewClick(); });
    recordLimits = new QActionGroup(this);
    recordLimits->setExclusive(true);
    QAction *const entries[] = {N10001, N50001, N100001, N500001, N1000001, limitess};
    static_assert(std::size(entries) == kRecordLimits.size());
    for (size_t i = 0; i < kRecordLimits.size(); ++i) {
        QAction *a = entries[i];
        a->setObjectName(QString::fromLatin1(kRecordLimits[i].name));
        a->setCheckable(true);
        a->setChecked(kRecordLimits[i].limit == kStartRecordLimit);
        recordLimits->addAction(a);
        const qint32 limit = kRecordLimits[i].limit;
        // N10001Click ... limitessClick
        connect(a, &QAction::triggered, this, [this, limit] {
            if (recorder_)
                recorder_->setRecordLimit(limit);
        });
    }
}

void TFCOMM::buildRecordPanel()
{
    auto *panel = new QFrame(client_);
    panel->setObjectName(QStringLiteral("RecordPanel"));
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel->setGeometry(1, 272, 398, 41);
    QFont panelFont = font();
    panelFont.setBold(false);
    panel->setFont(panelFont);
    RecordPanel = panel;

    RepeatSet = new QCheckBox(QStringLiteral("Repeat"), panel);
    RepeatSet->setObjectName(QStringLiteral("RepeatSet"));
    RepeatSet->setToolTip(QStringLiteral("Repeage Record"));
    RepeatSet->setChecked(true);
    // 54 wide as laid out, a few pixels more where this style's box needs them to show
    // "Repeat" whole; RecordSI starts at 73.
    RepeatSet->setGeometry(11, 13, qBound(54, RepeatSet->sizeHint().width(), 61), 20);

    RecordSI = new QCheckBox(QStringLiteral("Sampling Interval                  'S"), panel);
    RecordSI->setObjectName(QStringLiteral("RecordSI"));
    RecordSI->setGeometry(73, 13, 184, 20);

    // Set before the change handler is bound: the countdown starts at 0.
    RecordSITime = silverEdit(panel, "RecordSITime", QStringLiteral("1"), QRect(191, 12, 27, 21));
    RecordSITime->raise(); // over the blank part of the RecordSI caption

    RecordNew = pictureButton(panel, "RecordNew", RecordIcon::New, "Close Data", QRect(272, 12, 23, 21));
    OpenDataFiles = pictureButton(panel, "OpenDataFiles", RecordIcon::Open, "Open old data files",
                                  QRect(302, 12, 23, 21));
    saveas = pictureButton(panel, "saveas", RecordIcon::Save, "Save data files", QRect(332, 12, 23, 21));
    BtPrint = pictureButton(panel, "BtPrint", RecordIcon::Print, "Print", QRect(362, 12, 22, 21));

    auto *digits = new DigitKeyFilter(this);
    RecordSITime->installEventFilter(digits);

    connect(RepeatSet, &QCheckBox::toggled, this, [this](bool on) {
        if (recorder_)
            recorder_->setRepeat(on);
    });
    connect(RecordSI, &QCheckBox::toggled, this, [this](bool on) {
        if (recorder_)
            recorder_->setSamplingInterval(on);
    });
    connect(RecordSITime, &QLineEdit::textChanged, this, [this] { RecordSITimeChange(); });
    connect(RecordNew, &QAbstractButton::clicked, this, [this] { RecordNewClick(); });

    Trecord = new QTimer(this);
    Trecord->setObjectName(QStringLiteral("Trecord"));
    Trecord->setInterval(1000);
    connect(Trecord, &QTimer::timeout, this, [this] { TrecordTimer(); });
    Trecord->start();
}

void TFCOMM::buildChartToolbar()
{
    QWidget *chart = Chtshow;

    auto *bevel = new QFrame(chart);
    bevel->setObjectName(QStringLiteral("Bevel1"));
    bevel->setFrameStyle(QFrame::Box | QFrame::Sunken);
    bevel->setGeometry(2, 2, 40, 20);
    BtFill = new QCheckBox(QStringLiteral("Fill"), chart);
    BtFill->setObjectName(QStringLiteral("BtFill"));
    BtFill->setToolTip(QStringLiteral("Graphic Fill"));
    BtFill->setGeometry(5, 5, 36, 17);
    BtFill->setChecked(true);
    connect(BtFill, &QCheckBox::clicked, this, [this] { btFillClick(); });

    Maxrecord = silverEdit(chart, "Maxrecord", QString::number(kStartPageSize), QRect(48, 3, 41, 21));
    Maxrecord->installEventFilter(new DigitKeyFilter(this));
    connect(Maxrecord, &QLineEdit::textChanged, this, [this] { MaxrecordChange(); });

    BtNew = pictureButton(chart, "BtNew", RecordIcon::ChartNew, "New", QRect(91, 3, 35, 21));
    BtSave = pictureButton(chart, "BtSave", RecordIcon::ChartSave, "Save", QRect(125, 3, 35, 21));
    BtFirst = pictureButton(chart, "BtFirst", RecordIcon::First, "First", QRect(163, 3, 25, 21));
    BTPrevious = pictureButton(chart, "BTPrevious", RecordIcon::Previous, "Previous", QRect(187, 3, 25, 21));

    auto *page = new QToolButton(chart);
    page->setObjectName(QStringLiteral("Bt10"));
    page->setText(QStringLiteral("1"));
    page->setToolTip(QStringLiteral("Page No."));
    page->setGeometry(211, 3, 25, 21);
    page->setFocusPolicy(Qt::NoFocus);
    QPalette pal = page->palette();
    pal.setColor(QPalette::ButtonText, QColor(0, 0, 255));
    page->setPalette(pal);
    Bt10 = page;

    BtNext = pictureButton(chart, "BtNext", RecordIcon::Next, "Next", QRect(235, 2, 25, 22));
    BTlast = pictureButton(chart, "BTlast", RecordIcon::Last, "last", QRect(259, 3, 25, 21));
    TbFd = pictureButton(chart, "TbFd", RecordIcon::Enlarge, "Graphic Enlarge", QRect(288, 3, 25, 25));
    TbSx = pictureButton(chart, "TbSx", RecordIcon::Restore, "Graphic Restore", QRect(288, 3, 25, 25));
    TbSx->hide();
    for (QAbstractButton *b : {TbFd, TbSx})
        static_cast<QToolButton *>(b)->setAutoRaise(true);

    connect(BtNew, &QAbstractButton::clicked, this, [this] { RecordNewClick(); });
    connect(BtFirst, &QAbstractButton::clicked, this, [this] { BtFirstClick(); });
    connect(BTPrevious, &QAbstractButton::clicked, this, [this] { BTPreviousClick(); });
    connect(BtNext, &QAbstractButton::clicked, this, [this] { BtNextClick(); });
    connect(BTlast, &QAbstractButton::clicked, this, [this] { BTlastClick(); });
    connect(TbFd, &QAbstractButton::clicked, this, [this] { TbFdClick(); });
    connect(TbSx, &QAbstractButton::clicked, this, [this] { TbFdClick(); });

    Timer2 = new QTimer(this);
    Timer2->setObjectName(QStringLiteral("Timer2"));
    Timer2->setInterval(1000);
    connect(Timer2, &QTimer::timeout, this, [this] { Timer2Timer(); });
}

void TFCOMM::createChartController()
{
    // cds1 is a member and starts empty; the recorder that fills it starts with the
    // controller.
    recording_ = std::make_unique<Recording>(cds1, trendChart()->model(), kStartPageSize, session_->state(),
                                             session_->panel(), notifier_);
    chartControl_ = &recording_->chartControl();
    recorder_ = &recording_->recorder();
}

void TFCOMM::createReadingTable()
{
    recorder_->setRepeat(RepeatSet->isChecked());
    recorder_->setSamplingInterval(RecordSI->isChecked());
    connect(recorder_, &Recorder::pointAdded, this, [this](int page) {
        const QString caption = QString::number(page);
        if (Bt10->text() != caption)
            Bt10->setText(caption);
    });
    connect(session_.get(), &MeterSession::readingJudged, recording_.get(), &Recording::record);
}

void TFCOMM::destroyChartController()
{
    if (gridModel_)
        gridModel_->detach();
    recorder_ = nullptr;
    chartControl_ = nullptr;
    recording_.reset();
}

void TFCOMM::INDataToTable()
{
    if (recording_)
        recording_->record();
}

void TFCOMM::RecordNewClick()
{
    if (recorder_)
        recorder_->RecordNewClick();
}

void TFCOMM::TrecordTimer()
{
    if (recorder_)
        recorder_->TrecordTimer();
}

void TFCOMM::RecordSITimeChange()
{
    if (recorder_)
        recorder_->RecordSITimeChange(RecordSITime->text());
}

void TFCOMM::showPage()
{
    if (chartControl_)
        Bt10->setText(QString::number(chartControl_->currentPage()));
}

void TFCOMM::BtFirstClick()
{
    if (!chartControl_)
        return;
    chartControl_->FirstPage();
    showPage();
}

void TFCOMM::BTPreviousClick()
{
    if (!chartControl_)
        return;
    chartControl_->PreviousPage();
    showPage();
}

void TFCOMM::BtNextClick()
{
    if (!chartControl_)
        return;
    chartControl_->NextPage();
    showPage();
}

void TFCOMM::BTlastClick()
{
    if (!chartControl_)
        return;
    chartControl_->LastPage();
    showPage();
}

void TFCOMM::btFillClick()
{
    if (chartControl_)
        chartControl_->SetFill(BtFill->isChecked());
}

void TFCOMM::MaxrecordChange()
{
    Timer2->start(); // restarts: the size applies 1 s after the last change
}

void TFCOMM::Timer2Timer()
{
    bool ok = false;
    int n = Maxrecord->text().toInt(&ok, 10);
    // A size below 1 has no page to show; it goes the way of a text that is no number.
    if (!ok || n < 1) {
        Maxrecord->setText(QString::number(kStartPageSize));
        Maxrecord->setSelection(0, 3);
        n = kStartPageSize;
    }
    if (chartControl_)
        chartControl_->SetPageSize(n);
    showPage();
    Timer2->stop();
}

void TFCOMM::TbFdClick()
{
    if (Chtshow->y() > 50) {
        chartNormalGeometry_ = Chtshow->geometry();
        const QRect outer = frameGeometry();
        Chtshow->setGeometry(2, 28, outer.width() - 12, outer.height() - 85);
        Chtshow->raise();
        TbFd->hide();
        TbSx->show();
    } else {
        Chtshow->setGeometry(chartNormalGeometry_);
        TbSx->hide();
        TbFd->show();
    }
}

} // namespace sorrel
