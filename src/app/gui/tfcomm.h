#pragma once
// TFCOMM: the main window. It builds the controls at their places and wires them to
// the core; the rules live in the core objects it owns.

#include "app/metersession.h"
#include "app/options.h"
#include "link/gui/linkwidgets.h"
#include "record/readingtable.h"
#include "record/recording.h"

#include <QMainWindow>
#include <memory>

class QAbstractButton;
class QAction;
class QActionGroup;
class QCheckBox;
class QFileDialog;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTimer;

namespace sorrel {

class DialPanel;
class ReadingGridModel;
class ReadingGridView;
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

    // ---- shell -------------------------------------------------------------
    QPushButton *USB = nullptr;     // "USB Connect " toggle (bridge link)
    QPushButton *BitBtn1 = nullptr; // "Exit"
    QMenu *Connect1 = nullptr;      // hidden: START1, STOP1
    QAction *START1 = nullptr;
    QAction *STOP1 = nullptr;
    QMenu *Graphic1 = nullptr;      // hidden
    QMenu *Record1 = nullptr;       // "Record", the one visible menu
    QAction *New1 = nullptr;
    QAction *Save1 = nullptr;
    QAction *N10001 = nullptr, *N50001 = nullptr, *N100001 = nullptr;
    QAction *N500001 = nullptr, *N1000001 = nullptr, *limitess = nullptr;
    QAction *EXIT1 = nullptr;       // hidden "Exit"
    QAction *unnamed1 = nullptr, *unnamed2 = nullptr; // hidden, empty captions

    // ---- display: LCD panel and dial -----------------------------------------
    QWidget *LcdPanel = nullptr;    // LcdPanelWidget at (1, 32), 398 x 217
    QLabel *Z1 = nullptr;           // digit-font "0" on the window, behind the panel
    QFrame *Panel3 = nullptr;       // min/max strip, hidden for good
    QLabel *Label11 = nullptr, *Label12 = nullptr;
    QLabel *MinText = nullptr, *MaxText = nullptr, *MinTextU = nullptr, *MaxTextU = nullptr;
    DialPanel *KD = nullptr;        // the dial gauge, at (800, 32): off the client area as laid out
    QWidget *KD1 = nullptr, *KdFd = nullptr, *KdSx = nullptr;

    // ---- limit judge ---------------------------------------------------------
    QWidget *Panel4 = nullptr;      // at (400, 32), 319 x 121

    // ---- recording and output --------------------------------------------------
    QWidget *RecordPanel = nullptr; // at (1, 272), 398 x 41
    QWidget *DBGrid1 = nullptr;     // at (1, 312), 398 x 233
    QWidget *Chtshow = nullptr;     // at (400, 152), 321 x 394
    ReadingTable cds1;              // the reading table
    // Buttons made with the record panel and the chart toolbar; the output
    // actions (files, report, chart picture) connect to them in setupOutput().
    QAbstractButton *RecordNew = nullptr, *OpenDataFiles = nullptr, *saveas = nullptr;
    QAbstractButton *BtPrint = nullptr, *BtNew = nullptr, *BtSave = nullptr;
    // Record panel: RepeatSet "Repeat", RecordSI with RecordSITime over its caption.
    QCheckBox *RepeatSet = nullptr, *RecordSI = nullptr;
    QLineEdit *RecordSITime = nullptr;
    QTimer *Trecord = nullptr;      // 1000 ms sampling countdown, always running
    QActionGroup *recordLimits = nullptr; // N10001 ... limitess, one checked
    // Chart toolbar.
    QCheckBox *BtFill = nullptr;
    QLineEdit *Maxrecord = nullptr; // page size
    QAbstractButton *BtFirst = nullptr, *BTPrevious = nullptr, *Bt10 = nullptr;
    QAbstractButton *BtNext = nullptr, *BTlast = nullptr, *TbFd = nullptr, *TbSx = nullptr;
    QTimer *Timer2 = nullptr;       // applies the page size 1 s after the last change
    // Typed views of DBGrid1 and Chtshow, and the core objects behind them.
    ReadingGridView *readingGrid() const;
    TrendChartView *trendChart() const;
    TChartControl *chartControl() const { return chartControl_; }
    Recorder *recorder() const { return recorder_; }
    void INDataToTable();
    void RecordNewClick();
    void TbFdClick();

private:
    void BtFirstClick();
    void BTPreviousClick();
    void BtNextClick();
    void BTlastClick();
    void btFillClick();
    void MaxrecordChange();
    void Timer2Timer();
    void TrecordTimer();
    void RecordSITimeChange();
    void showPage();
    void buildRecordPanel();
    void buildChartToolbar();
    void destroyChartController(); // FormDestroy
    ReadingGridModel *gridModel_ = nullptr;
    std::unique_ptr<Recording> recording_;  // from FormCreate to FormDestroy
    TChartControl *chartControl_ = nullptr; // recording_'s, while it lives
    Recorder *recorder_ = nullptr;          // recording_'s, while it lives
    QRect chartNormalGeometry_;

public:

    // ---- output: reading files, report, chart picture (tfcomm_output.cpp) -----
    QFileDialog *SaveDialog2 = nullptr;
    QFileDialog *OpenDialog1 = nullptr;
    QFileDialog *SavePictureDialog1 = nullptr;
    void saveasClick();       // saveas, "Save" (Save1)
    void SpeedButton2Click(); // OpenDataFiles
    void BtPrintClick();      // returns when the preview is closed
    void BtSaveClick();
    // The steps after each dialog.
    void saveReadingFileTo(const QString &fileName);
    void loadReadingFileFrom(const QString &fileName);
    // How long a load runs before its progress dialog shows (tests: 0).
    int loadProgressDelayMs = 500;
    void saveChartPictureTo(const QString &fileName);

    // ---- links -------------------------------------------------------------
    // The link objects (serial driver, HID cable, bridge, watchdog) and the toggle
    // group; the controls below mirror them. All but USB lie outside the client area.
    MeterLinks *links = nullptr;
    TCommPortDriver *COMM2 = nullptr;
    TCommPortDriver *CommPortDriver1 = nullptr;
    ClickablePanel *BtCOM1 = nullptr, *BtCOM2 = nullptr, *BtCOM3 = nullptr, *BtCOM4 = nullptr;
    ClickablePanel *BTCon = nullptr, *BtDiscon = nullptr;
    QPushButton *COMCon = nullptr;   // "COM Connect" toggle
    QPushButton *USBCon = nullptr;   // "USB Connect" toggle (HID cable)
    QPushButton *ReadBtn = nullptr;  // "Read" toggle
    QPushButton *SetFeature = nullptr, *ClearBtn = nullptr, *usb_dll = nullptr;
    QListWidget *DevListBox = nullptr, *HistoryListBox = nullptr;
    QLabel *USBtxt = nullptr;
    QPlainTextEdit *Memo1 = nullptr, *Memo3 = nullptr;
    QTimer *ConTimer = nullptr, *Timer1 = nullptr;

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void buildShell();
    void buildMenus();
    void FormCreate();
    void FormDestroy();
    void BitBtn1Click();
    void BtExit1Click();

    // Each subsystem builds its controls in its own file (tfcomm_<area>.cpp).
    void setupDisplay();
    void setupJudge();
    void setupRecording();
    void setupOutput();
    void setupLinks();

    // Start-up steps that belong to other subsystems.
    void createChartController();  // FormCreate step 1
    void createReadingTable();     // FormCreate step 5
    void bindSerialHandler();      // FormCreate step 7: handler and speed of COMM2
    void applyLimitTexts();        // FormCreate step 8
    void KDsetup(int unused);      // FormCreate step 9
    void KDrun(int position);      // FormCreate step 10, and each counted Tern frame

    // Display handlers.
    void showPanelState();         // after each frame: panel, USB button, Z1, min/max strip
    void KdFdClick();
    void KDResize();

    QWidget *placeholder(int x, int y, int w, int h, const QString &name);

    AppOptions options_;
    Notifier &notifier_;
    QWidget *client_ = nullptr;
    std::unique_ptr<MeterSession> session_;
    bool centred_ = false;
};

} // namespace sorrel
