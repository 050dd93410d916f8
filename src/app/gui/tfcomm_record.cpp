#include "app/gui/tfcomm.h"

#include "base/decimalseparator.h"
#include "record/chartcontrol.h"
#include "record/gui/charttoolbar.h"
#include "record/gui/readinggridmodel.h"
#include "record/gui/readinggridview.h"
#include "record/gui/recordpanel.h"
#include "record/gui/trendchartview.h"
#include "record/recorder.h"
#include "record/recording.h"

#include <QAction>

namespace sorrel {

void TFCOMM::setupRecording()
{
    recordPanel_ = new RecordPanel(font(), client_);

    DBGrid1 = new ReadingGridView(client_);
    DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
    DBGrid1->setGeometry(1, 312, 398, 233);
    gridModel_ = new ReadingGridModel(cds1, DBGrid1);
    DBGrid1->setModel(gridModel_);

    Chtshow = new TrendChartView(client_);
    Chtshow->setGeometry(400, 152, 321, 394);
    chartToolbar_ = new ChartToolbar(*Chtshow);

    // Record New, the chart's New and the menu's New all close the data.
    const auto recordNew = [this] { recording_->recorder().RecordNewClick(); };
    connect(recordPanel_, &RecordPanel::newRequested, this, recordNew);
    connect(chartToolbar_, &ChartToolbar::newRequested, this, recordNew);
    connect(New1, &QAction::triggered, this, recordNew);
    recordPanel_->bindRecordLimits(recordLimitEntries_);
}

void TFCOMM::createChartController()
{
    // cds1 is a member and starts empty; the recorder that fills it starts with the
    // controller.
    recording_ = std::make_unique<Recording>(cds1, Chtshow->model(), ChartToolbar::kStartPageSize,
                                             session_->state(), session_->panel(), notifier_);
    chartToolbar_->attach(recording_->chartControl());
}

void TFCOMM::createReadingTable()
{
    Recorder &recorder = recording_->recorder();
    recordPanel_->attach(recorder);
    connect(&recorder, &Recorder::pointAdded, chartToolbar_, &ChartToolbar::showPageNumber);
    connect(session_.get(), &MeterSession::readingJudged, recording_.get(), &Recording::record);
}

} // namespace sorrel
