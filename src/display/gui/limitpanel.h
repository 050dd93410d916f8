#pragma once
// Panel4: the limit boxes, the measured value, the pass/fail lamp and the receive
// lamp. It shows the session's judge and panel state; every key, edit and focus
// change of a limit box goes through the judge's rules.

#include "display/limitjudge.h"

#include <QFrame>

class QLabel;
class QLineEdit;

namespace sorrel {

class MeterSession;

// Shape1: a round lamp filled with the verdict's colour.
class LampShape : public QWidget {
    Q_OBJECT
public:
    explicit LampShape(QWidget *parent = nullptr);
    void setFill(const QColor &c);
    QColor fill() const { return fill_; }

protected:
    void paintEvent(QPaintEvent *) override;

private:
    QColor fill_;
};

class LimitPanel : public QFrame {
    Q_OBJECT
public:
    static inline const QColor kPass{0, 128, 0};
    static inline const QColor kFail{255, 0, 0};

    LimitPanel(MeterSession &session, QWidget *parent = nullptr);

    QLabel *T1_HI = nullptr, *T1_Value = nullptr, *T1_LO = nullptr;
    QLineEdit *T1HI = nullptr, *T1VALUE = nullptr, *T1LO = nullptr;
    LampShape *Shape1 = nullptr;
    QLabel *judge = nullptr;
    QLabel *conok = nullptr, *conokn = nullptr; // receive lamp: light / dark screens

    // Shows the judge's limit texts in the boxes (start-up, or set from outside).
    void syncLimitTexts();
    // Measured value, verdict colours and the receive lamp, after each frame.
    void syncFromSession();

    // The receive lamp pictures (25 x 24): a computer and a meter.
    static QPixmap receiveLampPicture(bool lit);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QLineEdit *box(LimitBox b) const { return b == LimitBox::High ? T1HI : T1LO; }
    void edited(LimitBox b, const QString &text);
    void showBoxText(LimitBox b);
    void paintVerdict(Verdict v);

    MeterSession &session_;
    bool syncing_ = false;
    Verdict painted_ = Verdict::None;
};

} // namespace sorrel
