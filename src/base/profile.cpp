#include "base/profile.h"

#include <array>

namespace sorrel {

namespace {

struct FlagNames {
    const char *cli;
    const char *layout;
};

constexpr std::array<FlagNames, kModelFlagCount> kFlagNames{{
    {"avocet", "IFAvocet"},
    {"osprey", "ifosprey"},
    {"merlin", "Merlin"},
    {"wren", "IFWren"},
    {"curlew", "IFCurlew"},
    {"fulmar", "IFFulmar"},
    {"gannet", "IFGannet"},
    {"harrier", "IFHarrier"},
    {"egret", "IFEgret"},
    {"ibis", "IFIbis"},
    {"jacana", "IFJacana"},
    {"kestrel", "IFKestrel"},
    {"lapwing", "IFLapwing"},
    {"nightjar", "Nightjar"},
    {"plover", "IFPlover"},
}};

// One row per effective flag, in the order start-up applies them.
struct ProfileRow {
    ModelFlag flag;
    FrameHandler handler;
    int baud; // 0: as stored
    const char *title;
    const char *firstDigit;   // nullptr: unchanged
    const char *displayClass; // nullptr: unchanged
};

constexpr std::array<ProfileRow, 8> kProfileRows{{
    {ModelFlag::Avocet, FrameHandler::Tern, 0, "Avocet Interface Program _Ver: 1.00", "2", nullptr},
    {ModelFlag::Osprey, FrameHandler::Tern, 0, "Sorrel Interface Program V2.00", "2", "2"},
    {ModelFlag::Merlin, FrameHandler::Tern, 0, "Merlin Interface Program _Ver: 1.00", "3", nullptr},
    {ModelFlag::Wren, FrameHandler::Wren, 0, "Wren USB Interface Program _Ver: 1.00", nullptr, nullptr},
    {ModelFlag::Curlew, FrameHandler::Wren, 0, "Curlew Interface Program _Ver: 2.06", nullptr, "34"},
    {ModelFlag::Fulmar, FrameHandler::Wren, 19200, "Fulmar USB Interface Program _Ver: 1.00", nullptr, "4"},
    {ModelFlag::Gannet, FrameHandler::Wren, 19200, "Gannet USB Interface Program _Ver: 1.00", nullptr, "4"},
    {ModelFlag::Harrier, FrameHandler::Wren, 0, "Harrier Interface Program _Ver: 1.00", nullptr, "6"},
}};

} // namespace

ModelFlags ModelFlags::shipped()
{
    ModelFlags f;
    f.set(ModelFlag::Osprey);
    return f;
}

QString modelFlagCliName(ModelFlag f)
{
    return QString::fromLatin1(kFlagNames[size_t(f)].cli);
}
QString modelFlagLayoutName(ModelFlag f)
{
    return QString::fromLatin1(kFlagNames[size_t(f)].layout);
}

std::optional<ModelFlag> modelFlagFromCliName(QStringView name)
{
    for (size_t i = 0; i < kFlagNames.size(); ++i)
        if (name.compare(QLatin1String(kFlagNames[i].cli), Qt::CaseInsensitive) == 0)
            return ModelFlag(i);
    return std::nullopt;
}

QStringList modelFlagCliNames()
{
    QStringList names;
    for (const auto &n : kFlagNames)
        names << QString::fromLatin1(n.cli);
    return names;
}

std::optional<ModelFlags> parseModelFlags(QStringView list, QString *bad)
{
    ModelFlags flags;
    for (QStringView part : list.split(u',')) {
        const auto flag = modelFlagFromCliName(part.trimmed());
        if (!flag) {
            if (bad)
                *bad = part.trimmed().toString();
            return std::nullopt;
        }
        flags.set(*flag);
    }
    return flags;
}

DisplayClassRow displayClassRow(const QString &displayClass)
{
    if (displayClass == u"2")
        return {{2000, 200, 20, 40}, QStringLiteral("2000"), QStringLiteral("-2000")};
    if (displayClass == u"6")
        return {{6000, 600, 60, 120}, QStringLiteral("6000"), QStringLiteral("-6000")};
    if (displayClass == u"34")
        return {{3400, 340, 34, 68}, QStringLiteral("3400"), QStringLiteral("-3400")};
    return {{4000, 400, 40, 80}, std::nullopt, std::nullopt};
}

Profile resolveProfile(const ModelFlags &flags)
{
    Profile p;
    p.flags = flags;
    for (const ProfileRow &row : kProfileRows) {
        if (!flags.test(row.flag))
            continue;
        p.handler = row.handler;
        p.title = QString::fromLatin1(row.title);
        if (row.firstDigit)
            p.idleFirstDigit = QString::fromLatin1(row.firstDigit);
        if (row.baud)
            p.serialBaud = row.baud;
        if (row.displayClass)
            p.displayClass = QString::fromLatin1(row.displayClass);
    }
    const DisplayClassRow cls = displayClassRow(p.displayClass);
    p.scale = cls.scale;
    p.highText = cls.highText;
    p.lowText = cls.lowText;

    // The HID cable's rate and whether it may read are tested in their own order.
    p.hidRate = 2400;
    if (flags.test(ModelFlag::Fulmar))
        p.hidRate = 19200;
    if (flags.test(ModelFlag::Osprey))
        p.hidRate = 19200;
    if (flags.test(ModelFlag::Avocet))
        p.hidRate = 19200;
    if (flags.test(ModelFlag::Wren))
        p.hidRate = 2400;
    if (flags.test(ModelFlag::Harrier))
        p.hidRate = 2400;
    p.hidReading = flags.test(ModelFlag::Wren) || flags.test(ModelFlag::Osprey) || flags.test(ModelFlag::Avocet);
    return p;
}

} // namespace sorrel
