#pragma once
// The limit judge: the rules that keep the high and low limit boxes numeric, and the
// pass/fail verdict on each counted reading. The limit panel widget shows this state
// and forwards keys, edits and focus changes to it.

#include "base/notifier.h"
#include "base/profile.h"

#include <QString>
#include <QStringView>
#include <optional>

namespace sorrel {

// What a text that is no number reads as (and what a number equal to it is taken for).
inline constexpr double kNotANumber = -999999;

// Reads an optional sign, digits with at most one decimal separator, and an optional
// exponent, blanks around allowed; anything else gives kNotANumber.
double readLimitNumber(QStringView text, QStringView decimalSeparator);

enum class LimitBox { High, Low };
enum class Verdict : std::uint8_t { None, Pass, Fail };
const char *verdictText(Verdict v); // "", "Pass", "Fail"

class LimitJudge {
public:
    enum class Change { Accepted, InProgress, Refused };

    explicit LimitJudge(QString decimalSeparator = QStringLiteral("."));

    // Start-up: the display class's limit texts go through the change rule; class "4"
    // keeps the layout's texts, which never passed it.
    void startUp(const Profile &profile, Notifier &notifier);

    const QString &decimalSeparator() const { return separator_; }
    const QString &text(LimitBox box) const { return slot(box).text; }
    const QString &lastAccepted(LimitBox box) const { return slot(box).lastAccepted; }

    // Key filter: whether a typed character may reach the box.
    bool acceptsKey(LimitBox box, QChar key) const;
    // Change rule, after the box's text became `text` (typed or set). A refused text
    // raises "Numerical input errors" and is replaced by the last accepted one; read
    // text() for what the box holds afterwards.
    Change change(LimitBox box, const QString &text, Notifier &notifier);
    // Exit rule, when the box loses focus; true when the text was put back.
    bool leave(LimitBox box);

    // T1VALUE and the verdict.
    const QString &measuredValue() const { return value_; }
    void setMeasuredValue(const QString &value) { value_ = value; }
    // Judges the measured value; nullopt (and no change) while a limit is no number.
    std::optional<Verdict> judge();
    Verdict verdict() const { return verdict_; }

private:
    struct Slot {
        QString text;
        QString lastAccepted;
        double number = kNotANumber; // text, read once per change
    };
    Slot &slot(LimitBox box) { return box == LimitBox::High ? high_ : low_; }
    const Slot &slot(LimitBox box) const { return box == LimitBox::High ? high_ : low_; }
    void setText(Slot &s, const QString &text);

    QString separator_;
    Slot high_, low_;
    QString value_ = QStringLiteral("0");
    Verdict verdict_ = Verdict::None;
};

} // namespace sorrel
