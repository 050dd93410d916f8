#pragma once
// RecordPanel: the strip over the reading grid. Repeat, the sampling interval and the
// record limits steer the recorder; the file and print buttons are the window's to
// answer, as they open its dialogs.

#include <QFrame>

class QToolButton;
class QAction;
class QActionGroup;
class QCheckBox;
class QLineEdit;
class QTimer;

namespace sorrel {

class Recorder;

class RecordPanel : public QFrame {
    Q_OBJECT
public:
    // The panel's texts are the window's font without the bold.
    RecordPanel(const QFont &windowFont, QWidget *parent);

    // The recorder takes the boxes' state now; the countdown starts.
    void attach(Recorder &recorder);
    // N10001 ... limitess from the Record menu, in kRecordLimits order: one checked.
    void bindRecordLimits(const QList<QAction *> &entries);

Q_SIGNALS:
    void newRequested();   // RecordNew
    void openRequested();  // OpenDataFiles
    void saveRequested();  // saveas
    void printRequested(); // BtPrint

private:
    QCheckBox *RepeatSet = nullptr;
    QCheckBox *RecordSI = nullptr;
    QLineEdit *RecordSITime = nullptr;
    QToolButton *RecordNew = nullptr, *OpenDataFiles = nullptr, *saveas = nullptr, *BtPrint = nullptr;
    QTimer *Trecord = nullptr; // 1000 ms sampling countdown, always running
    QActionGroup *recordLimits_ = nullptr;
    Recorder *recorder_ = nullptr;
};

} // namespace sorrel
