#pragma once
// The LCD panel as named indicators: what the decoders last wrote, nothing more.
// Widgets paint from it; decoders and tests address indicators by id or by name.

#include <QString>
#include <array>
#include <cstdint>
#include <optional>

namespace sorrel {

// X(name, kind, parked)
#define SORREL_INDICATORS(X)                                                                                      \
    /* main digits and points (visible band) */                                                                   \
    X(LcdDa, Digit, false)                                                                                        \
    X(LcdDb, Digit, false) X(LcdDc, Digit, false) X(LcdDd, Digit, false) X(LcdP1, Point, false)                   \
        X(LcdP2, Point, false) X(LcdP3, Point, false) /* annunciators in the visible band */                      \
        X(LCDHold, Symbol, false) X(p_off, Picture, false) X(MAX, Word, false) X(MIN, Word, false)                \
            X(REL, Word, false) X(perecent, Picture, false) X(auto_, Word, false) X(Z, Word, false)               \
                X(o1, Word, false) X(o2, Word, false) X(o3, Word, false) X(o4, Word, false) X(FC, Picture, false) \
                    X(LUX, Picture, false) X(X10, Word, false) X(CD, Picture, false) X(usb1, Word, false)         \
                        X(power, Picture, false) X(FULL, Picture, false) X(loadNO, Word, false)                   \
                            X(REC, Picture, false) X(z4, Picture, false) X(z3, Picture, false)                    \
                                X(z2, Picture, false) X(z11, Picture, false) X(t_p, Picture, false)               \
                                    X(PBar2, Bar, false) /* second digit row, its colons and points (parked) */   \
        X(LcdDa2, Digit, true) X(LcdDb2, Digit, true) X(LcdDc2, Digit, true) X(LcdDd2, Digit, true)               \
            X(LCDDE2, Digit, true) X(LCDDF2, Digit, true) X(T_dPoint1, Word, true) X(T_dPoint2, Word, true)       \
                X(LcdP12, Point, true) X(LcdP22, Point, true)                                                     \
                    X(LcdP32, Point, true) /* other parked indicators */                                          \
        X(LcdFH, Word, true) X(PH, Word, true) X(AVE, Word, true) X(NO, Word, true) X(ESC, Word, true) X(         \
            NODATA, Word, true) X(VEL, Word, true) X(FLOW, Word, true) X(KEY, Word, true) X(TEMP, Word, true)     \
            X(TIMER, Word, true) X(CFM, Word, true) X(CMM, Word, true) X(knots, Word, true) X(mph, Word, true)    \
                X(LOAD, Word, true) X(c, Symbol, true) X(f, Symbol, true) X(ft2, Picture, true)                   \
                    X(m2, Picture, true) X(RH, Picture, true) X(READ, Picture, true) X(ms, Picture, true)         \
                        X(ftmin, Picture, true) X(kmh, Picture, true) X(time_l, Picture, true) X(frame, Picture,  \
                                                                                                 true)            \
                            X(V23, Picture,                                                                       \
                              true) /* neighbours written by the decoders: Z1 and USB live on the main window */  \
        X(Z1, Word, true) X(USB, Button, false) X(conok, Lamp, false) X(conokn, Lamp, false)                      \
            X(MaxText, Text, false) X(MinText, Text, false) X(MaxTextU, Text, false) X(MinTextU, Text, false)

enum class IndicatorKind : std::uint8_t { Digit, Point, Word, Symbol, Picture, Bar, Button, Lamp, Text };

enum class Ind : std::uint8_t {
#define SORREL_IND_ENUM(n, k, p) n,
    SORREL_INDICATORS(SORREL_IND_ENUM)
#undef SORREL_IND_ENUM
        Count
};
inline constexpr int kIndicatorCount = int(Ind::Count);

struct IndicatorInfo {
    const char *name; // the name decoders and tests use ("auto" for Ind::auto_)
    IndicatorKind kind;
    bool parked; // below the visible band: a state only, never seen
};

const IndicatorInfo &indicatorInfo(Ind id);
inline const char *indicatorName(Ind id)
{
    return indicatorInfo(id).name;
}
std::optional<Ind> indicatorByName(QStringView name);

// Hidden by every decoder at the start of a frame, in this order (37 entries).
extern const std::array<Ind, 37> kCommonResetSet;
// Hidden next by the Tern and Rook decoders (17 entries; p_off repeats).
extern const std::array<Ind, 17> kLightMeterResetSet;

inline constexpr int kBarMaximum = 2000;

class LcdPanelState {
public:
    LcdPanelState(); // the layout's start state: idle digits 2000, bar 30, conokn lit, USB shown

    void setText(Ind id, const QString &text) { texts_[size_t(id)] = text; }
    const QString &text(Ind id) const { return texts_[size_t(id)]; }

    void setShown(Ind id, bool shown) { shown_[size_t(id)] = shown; }
    void show(Ind id) { setShown(id, true); }
    void hide(Ind id) { setShown(id, false); }
    bool isShown(Ind id) const { return shown_[size_t(id)]; }

    // The set value is kept as given; painting clamps it to 0..kBarMaximum.
    void setBar(int position) { bar_ = position; }
    int bar() const { return bar_; }

    void hideCommonResetSet();
    void hideLightMeterResetSet();

    // Name-based access for tests and tools; unknown names are ignored / read as hidden.
    bool setTextByName(QStringView name, const QString &text);
    bool setShownByName(QStringView name, bool shown);
    bool isShownByName(QStringView name) const;
    QString textByName(QStringView name) const;

private:
    std::array<QString, kIndicatorCount> texts_;
    std::array<bool, kIndicatorCount> shown_{};
    int bar_ = 30;
};

} // namespace sorrel
