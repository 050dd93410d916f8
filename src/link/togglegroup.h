#pragma once
// The window's toggle buttons USB, COMCon, USBCon and ReadBtn form one group: at most
// one is down, and putting one down puts the others up without running their actions.
// The links read and move the positions here; the window's buttons mirror them.

#include <QObject>
#include <array>

namespace sorrel {

enum class Toggle { USB, COMCon, USBCon, ReadBtn };
inline constexpr int kToggleCount = 4;

class ToggleGroup : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    bool isDown(Toggle t) const { return down_[size_t(t)]; }
    // Moves only the positions; no action runs.
    void setDown(Toggle t, bool down);

Q_SIGNALS:
    void positionChanged(sorrel::Toggle toggle, bool down);

private:
    std::array<bool, kToggleCount> down_{};
};

} // namespace sorrel
