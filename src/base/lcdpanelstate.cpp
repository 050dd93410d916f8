#include "base/lcdpanelstate.h"

#include <QHash>

namespace sorrel {

namespace {

constexpr const char *publicName(const char *n)
{
    // "auto" is a keyword in C++; the enumerator carries a trailing underscore.
    return (n[0] == 'a' && n[1] == 'u' && n[2] == 't' && n[3] == 'o' && n[4] == '_') ? "auto" : n;
}

constexpr std::array<IndicatorInfo, kIndicatorCount> kInfo{{
#define SORREL_IND_INFO(n, k, p) {publicName(#n), IndicatorKind::k, p},
    SORREL_INDICATORS(SORREL_IND_INFO)
#undef SORREL_IND_INFO
}};

const QHash<QString, Ind> &nameIndex()
{
    static const QHash<QString, Ind> index = [] {
        QHash<QString, Ind> h;
        for (int i = 0; i < kIndicatorCount; ++i)
            h.insert(QString::fromLatin1(kInfo[size_t(i)].name), Ind(i));
        return h;
    }();
    return index;
}

} // namespace

const std::array<Ind, 37> kCommonResetSet{
    Ind::AVE,   Ind::MAX,    Ind::PH,      Ind::MIN, Ind::READ,  Ind::REC,   Ind::NO,   Ind::USB,
    Ind::ESC,   Ind::NODATA, Ind::power,   Ind::VEL, Ind::frame, Ind::FLOW,  Ind::t_p,  Ind::ft2,
    Ind::m2,    Ind::c,      Ind::f,       Ind::RH,  Ind::KEY,   Ind::TEMP,  Ind::LOAD, Ind::time_l,
    Ind::TIMER, Ind::p_off,  Ind::CFM,     Ind::CMM, Ind::ms,    Ind::knots, Ind::mph,  Ind::ftmin,
    Ind::X10,   Ind::kmh,    Ind::LCDHold, Ind::V23, Ind::Z1,
};

const std::array<Ind, 17> kLightMeterResetSet{
    Ind::p_off, Ind::perecent, Ind::auto_, Ind::Z,  Ind::o1,  Ind::o2, Ind::o3,   Ind::o4,     Ind::z4,
    Ind::z3,    Ind::z2,       Ind::z11,   Ind::FC, Ind::LUX, Ind::CD, Ind::FULL, Ind::loadNO,
};

const IndicatorInfo &indicatorInfo(Ind id)
{
    return kInfo[size_t(id)];
}

std::optional<Ind> indicatorByName(QStringView name)
{
    const auto &index = nameIndex();
    const auto it = index.constFind(name.toString());
    if (it == index.cend())
        return std::nullopt;
    return *it;
}

LcdPanelState::LcdPanelState()
{
    const char *const mainRow[] = {"2", "0", "0", "0"};
    const Ind mainIds[] = {Ind::LcdDa, Ind::LcdDb, Ind::LcdDc, Ind::LcdDd};
    for (int i = 0; i < 4; ++i)
        texts_[size_t(mainIds[i])] = QString::fromLatin1(mainRow[i]);
    const char *const secondRow[] = {"2", "3", "5", "9", "5", "9"};
    const Ind secondIds[] = {Ind::LcdDa2, Ind::LcdDb2, Ind::LcdDc2, Ind::LcdDd2, Ind::LCDDE2, Ind::LCDDF2};
    for (int i = 0; i < 6; ++i)
        texts_[size_t(secondIds[i])] = QString::fromLatin1(secondRow[i]);
    texts_[size_t(Ind::T_dPoint1)] = texts_[size_t(Ind::T_dPoint2)] = QStringLiteral(":");
    texts_[size_t(Ind::Z1)] = QStringLiteral("0");

    // Digits and the bar are never hidden; every other indicator starts dark.
    for (int i = 0; i < kIndicatorCount; ++i) {
        const IndicatorKind k = kInfo[size_t(i)].kind;
        shown_[size_t(i)] = (k == IndicatorKind::Digit || k == IndicatorKind::Bar);
    }
    shown_[size_t(Ind::conokn)] = true;
    shown_[size_t(Ind::USB)] = true;
}

void LcdPanelState::hideCommonResetSet()
{
    for (Ind id : kCommonResetSet)
        hide(id);
}

void LcdPanelState::hideLightMeterResetSet()
{
    for (Ind id : kLightMeterResetSet)
        hide(id);
}

bool LcdPanelState::setTextByName(QStringView name, const QString &text)
{
    const auto id = indicatorByName(name);
    if (id)
        setText(*id, text);
    return id.has_value();
}

bool LcdPanelState::setShownByName(QStringView name, bool shown)
{
    const auto id = indicatorByName(name);
    if (id)
        setShown(*id, shown);
    return id.has_value();
}

bool LcdPanelState::isShownByName(QStringView name) const
{
    const auto id = indicatorByName(name);
    return id && isShown(*id);
}

QString LcdPanelState::textByName(QStringView name) const
{
    const auto id = indicatorByName(name);
    return id ? text(*id) : QString();
}

} // namespace sorrel
