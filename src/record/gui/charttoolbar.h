#pragma once
// The strip along the top of the trend chart: fill, page size, paging, the page number
// Bt10 and the enlarge/restore pair. Paging and the page size go to the chart
// controller; New and Save are the window's to answer.

#include <QWidget>

class QToolButton;
class QCheckBox;
class QLineEdit;
class QTimer;

namespace sorrel {

class TChartControl;
class TrendChartView;

class ChartToolbar : public QWidget {
    Q_OBJECT
public:
    static constexpr int kStartPageSize = 100;

    explicit ChartToolbar(TrendChartView &chart);

    void attach(TChartControl &control);
    // Bt10's caption, left alone when it already reads so.
    void showPageNumber(int page);

Q_SIGNALS:
    void newRequested();  // BtNew
    void saveRequested(); // BtSave: the chart picture

private:
    void showPage();
    void Timer2Timer();
    void TbFdClick();

    TrendChartView &chart_;
    TChartControl *control_ = nullptr;
    QCheckBox *BtFill = nullptr;
    QLineEdit *Maxrecord = nullptr; // page size
    QToolButton *BtNew = nullptr, *BtSave = nullptr;
    QToolButton *BtFirst = nullptr, *BTPrevious = nullptr, *Bt10 = nullptr;
    QToolButton *BtNext = nullptr, *BTlast = nullptr, *TbFd = nullptr, *TbSx = nullptr;
    QTimer *Timer2 = nullptr; // applies the page size 1 s after the last change
    QRect chartNormalGeometry_;
};

} // namespace sorrel
