#pragma once
// RecordSITimeKeyPress: the interval edit and the page-size edit take only digits and
// Backspace by typing. Shortcuts and keys that type nothing pass, so paste, Delete and
// the arrows still work.

#include <QObject>

class QKeyEvent;

namespace sorrel {

// True when the key press types a character that the edit must not get.
bool RecordSITimeKeyPress(const QKeyEvent &event);

class DigitKeyFilter : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};

} // namespace sorrel
