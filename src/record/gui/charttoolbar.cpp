#include "record/gui/charttoolbar.h"

#include "record/chartcontrol.h"
#include "record/gui/digitkeyfilter.h"
#include "record/gui/recordwidgets.h"
#include "record/gui/trendchartview.h"

#include <QCheckBox>
#include <QFrame>
#include <QLineEdit>
#include <QTimer>
#include <QToolButton>
#include <functional>

namespace sorrel {

ChartToolbar::ChartToolbar(TrendChartView &chart) : QWidget(&chart), chart_(chart)
{
    setObjectName(QStringLiteral("ChartToolbar"));
    setGeometry(0, 0, chart.width(), 28);

    auto *bevel = new QFrame(this);
    bevel->setObjectName(QStringLiteral("Bevel1"));
    bevel->setFrameStyle(QFrame::Box | QFrame::Sunken);
    bevel->setGeometry(2, 2, 40, 20);
    BtFill = new QCheckBox(QStringLiteral("Fill"), this);
    BtFill->setObjectName(QStringLiteral("BtFill"));
    BtFill->setToolTip(QStringLiteral("Graphic Fill"));
    BtFill->setGeometry(5, 5, 36, 17);
    BtFill->setChecked(true);

    Maxrecord = silverEdit(this, "Maxrecord", QString::number(kStartPageSize), QRect(48, 3, 41, 21));
    Maxrecord->installEventFilter(new DigitKeyFilter(this));

    BtNew = pictureButton(this, "BtNew", RecordIcon::ChartNew, "New", QRect(91, 3, 35, 21));
    BtSave = pictureButton(this, "BtSave", RecordIcon::ChartSave, "Save", QRect(125, 3, 35, 21));
    BtFirst = pictureButton(this, "BtFirst", RecordIcon::First, "First", QRect(163, 3, 25, 21));
    BTPrevious = pictureButton(this, "BTPrevious", RecordIcon::Previous, "Previous", QRect(187, 3, 25, 21));

    Bt10 = new QToolButton(this);
    Bt10->setObjectName(QStringLiteral("Bt10"));
    Bt10->setText(QStringLiteral("1"));
    Bt10->setToolTip(QStringLiteral("Page No."));
    Bt10->setGeometry(211, 3, 25, 21);
    Bt10->setFocusPolicy(Qt::NoFocus);
    QPalette pal = Bt10->palette();
    pal.setColor(QPalette::ButtonText, QColor(0, 0, 255));
    Bt10->setPalette(pal);

    BtNext = pictureButton(this, "BtNext", RecordIcon::Next, "Next", QRect(235, 2, 25, 22));
    BTlast = pictureButton(this, "BTlast", RecordIcon::Last, "last", QRect(259, 3, 25, 21));
    TbFd = pictureButton(this, "TbFd", RecordIcon::Enlarge, "Graphic Enlarge", QRect(288, 3, 25, 25));
    TbSx = pictureButton(this, "TbSx", RecordIcon::Restore, "Graphic Restore", QRect(288, 3, 25, 25));
    TbSx->hide();
    TbFd->setAutoRaise(true);
    TbSx->setAutoRaise(true);

    connect(BtNew, &QAbstractButton::clicked, this, &ChartToolbar::newRequested);
    connect(BtSave, &QAbstractButton::clicked, this, &ChartToolbar::saveRequested);
    connect(TbFd, &QAbstractButton::clicked, this, [this] { TbFdClick(); });
    connect(TbSx, &QAbstractButton::clicked, this, [this] { TbFdClick(); });

    Timer2 = new QTimer(this);
    Timer2->setObjectName(QStringLiteral("Timer2"));
    Timer2->setInterval(1000);
    connect(Timer2, &QTimer::timeout, this, [this] { Timer2Timer(); });
    // Restarts: the size applies 1 s after the last change.
    connect(Maxrecord, &QLineEdit::textChanged, Timer2, qOverload<>(&QTimer::start));

    // Between the controls the strip is the chart's: clicks there reach the plot as before.
    QRegion controls;
    for (const QWidget *child : findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
        controls += child->geometry();
    setMask(controls);
}

void ChartToolbar::attach(TChartControl &control)
{
    control_ = &control;
    connect(BtFill, &QCheckBox::clicked, this, [this] { control_->SetFill(BtFill->isChecked()); });
    const struct {
        QToolButton *button;
        void (TChartControl::*turn)();
    } paging[] = {
        {BtFirst, &TChartControl::FirstPage},
        {BTPrevious, &TChartControl::PreviousPage},
        {BtNext, &TChartControl::NextPage},
        {BTlast, &TChartControl::LastPage},
    };
    for (const auto &p : paging)
        connect(p.button, &QAbstractButton::clicked, this, [this, turn = p.turn] {
            // Not (control_->*turn)(): g++ 12's UBSan checks this lambda's own object
            // against the wrong address in that form and reports a fault that is not there.
            std::invoke(turn, control_);
            showPage();
        });
}

void ChartToolbar::showPageNumber(int page)
{
    const QString caption = QString::number(page);
    if (Bt10->text() != caption)
        Bt10->setText(caption);
}

void ChartToolbar::showPage()
{
    Bt10->setText(QString::number(control_->currentPage()));
}

void ChartToolbar::Timer2Timer()
{
    bool ok = false;
    int n = Maxrecord->text().toInt(&ok, 10);
    // A size below 1 has no page to show; it goes the way of a text that is no number.
    if (!ok || n < 1) {
        Maxrecord->setText(QString::number(kStartPageSize));
        Maxrecord->setSelection(0, 3);
        n = kStartPageSize;
    }
    control_->SetPageSize(n);
    showPage();
    Timer2->stop();
}

void ChartToolbar::TbFdClick()
{
    if (chart_.y() > 50) {
        chartNormalGeometry_ = chart_.geometry();
        const QRect outer = window()->frameGeometry();
        chart_.setGeometry(2, 28, outer.width() - 12, outer.height() - 85);
        chart_.raise();
        TbFd->hide();
        TbSx->show();
    } else {
        chart_.setGeometry(chartNormalGeometry_);
        TbSx->hide();
        TbFd->show();
    }
}

} // namespace sorrel
