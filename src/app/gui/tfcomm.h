#pragma once
// TFCOMM: the main window. It composes the area widgets (display, limit panel, record
// panel, grid, chart, link controls), places them, and wires them to each other and to
// the core objects it owns; the rules live in the core.

#include "app/metersession.h"
#include "app/options.h"
#include "record/readingtable.h"
#include "record/recording.h"

#include <QMainWindow>
#include <memory>

class QAction;
class QFileDialog;
class QLabel;
class QMenu;
class QPushButton;

namespace sorrel {

class ChartToolbar;
class DialPanel;
class LcdPanelWidget;
class LimitPanel;
class LinkControls;
class MeterLinks;
class MinMaxStrip;
class ReadingGridModel;
class ReadingGridView;
class RecordPanel;
class Recorder;
class TChartControl;
class TrendChartView;

class TFCOMM : public QMainWindow {
    Q_OBJECT
public:
    static constexpr int kClientWidth = 719;
    static constexpr int kClientHeight = 544;

    TFCOMM(const AppOptions &options, Notifier &notifier, QWidget *parent = nullptr);
    ~TFCOMM() override;

    MeterSession &session() { return *session_; }
    Notifier &notifier() { return notifier_; }
    QWidget *client() const { return client_; }
    MeterLinks &links() { return *links_; }
    ReadingTable &readings() { return cds1; }
    Recorder *recorder() const { return &recording_->recorder(); }
    TChartControl *chartControl() const { return &recording_->chartControl(); }

    // "USB Connect " as a user presses it: the demo's readings start coming in.
    void pressUsbConnect();

    // The steps after each file dialog.
    void saveReadingFileTo(const QString &fileName);
    void loadReadingFileFrom(const QString &fileName);
    void saveChartPictureTo(const QString &fileName);
    // How long a load runs before its progress dialog shows (tests: 0).
    void setLoadProgressDelay(int ms) { loadProgressDelayMs = ms; }

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void buildShell();
    void buildMenus();
    void FormCreate();
    void BitBtn1Click();
    void BtExit1Click();

    // Each area is placed and wired in its own file (tfcomm_<area>.cpp).
    void setupDisplay();
    void setupJudge();
    void setupRecording();
    void setupOutput();
    void setupLinks();

    // Start-up steps that belong to the areas.
    void createChartController(); // FormCreate step 1
    void createReadingTable();    // FormCreate step 5
    void showPanelState();        // after each frame: panel, USB button, Z1, min/max strip

    // Output (tfcomm_output.cpp).
    void saveasClick();       // saveas, "Save" (Save1)
    void SpeedButton2Click(); // OpenDataFiles
    void BtPrintClick();      // returns when the preview is closed
    void BtSaveClick();

    AppOptions options_;
    Notifier &notifier_;
    QWidget *client_ = nullptr;
    std::unique_ptr<MeterSession> session_;

    // Shell.
    QPushButton *USB = nullptr;     // "USB Connect " toggle (bridge link)
    QPushButton *BitBtn1 = nullptr; // "Exit"
    QMenu *Connect1 = nullptr;      // hidden: START1, STOP1
    QAction *START1 = nullptr;
    QAction *STOP1 = nullptr;
    QMenu *Graphic1 = nullptr; // hidden
    QMenu *Record1 = nullptr;  // "Record", the one visible menu
    QAction *New1 = nullptr;
    QAction *Save1 = nullptr;
    QList<QAction *> recordLimitEntries_; // N10001 ... limitess
    QAction *EXIT1 = nullptr;             // hidden "Exit"

    // Display, limit judge, links.
    QLabel *Z1 = nullptr; // digit-font "0" on the window, behind the panel
    LcdPanelWidget *LcdPanel = nullptr;
    MinMaxStrip *Panel3 = nullptr;
    DialPanel *KD = nullptr; // at (800, 32): off the client area as laid out
    LimitPanel *Panel4 = nullptr;
    MeterLinks *links_ = nullptr; // a child: the link objects go with the window
    LinkControls *linkControls_ = nullptr;

    // Recording and output.
    ReadingTable cds1;
    RecordPanel *recordPanel_ = nullptr;
    ReadingGridView *DBGrid1 = nullptr;
    ReadingGridModel *gridModel_ = nullptr;
    TrendChartView *Chtshow = nullptr;
    ChartToolbar *chartToolbar_ = nullptr;
    std::unique_ptr<Recording> recording_; // table + recorder + chart controller, from FormCreate
    QFileDialog *SaveDialog2 = nullptr;
    QFileDialog *OpenDialog1 = nullptr;
    QFileDialog *SavePictureDialog1 = nullptr;
    int loadProgressDelayMs = 500;

    bool centred_ = false;
};

} // namespace sorrel
