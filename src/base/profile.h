#pragma once
// Model profiles: fifteen model flags, of which eight choose what a program run serves.

#include <QString>
#include <QStringList>
#include <bitset>
#include <optional>

namespace sorrel {

// In the order start-up walks them; the last seven have no effect.
enum class ModelFlag {
    Avocet,
    Osprey,
    Merlin,
    Wren,
    Curlew,
    Fulmar,
    Gannet,
    Harrier,
    Egret,
    Ibis,
    Jacana,
    Kestrel,
    Lapwing,
    Nightjar,
    Plover,
};
inline constexpr int kModelFlagCount = 15;

class ModelFlags {
public:
    bool test(ModelFlag f) const { return bits_.test(static_cast<size_t>(f)); }
    void set(ModelFlag f, bool on = true) { bits_.set(static_cast<size_t>(f), on); }
    bool none() const { return bits_.none(); }
    bool operator==(const ModelFlags &) const = default;
    static ModelFlags shipped(); // only Osprey, the layout we ship
private:
    std::bitset<kModelFlagCount> bits_;
};

// Command-line names ("avocet", "osprey", ...) and the flags' layout names ("IFAvocet", "ifosprey", ...).
QString modelFlagCliName(ModelFlag f);
QString modelFlagLayoutName(ModelFlag f);
std::optional<ModelFlag> modelFlagFromCliName(QStringView name);
QStringList modelFlagCliNames();
// Parses "name[,name...]"; on an unknown name returns nullopt and sets *bad to it.
std::optional<ModelFlags> parseModelFlags(QStringView list, QString *bad = nullptr);

enum class FrameHandler { None, Tern, Wren }; // HTernRData / HWrenRData bound to the serial driver

struct ScaleNumbers {
    int fullScale = 4000; // what an overload display stands for
    int dialZero = 400;   // dial pointer position of a zero reading
    int barOverload = 40; // bar position of an overload
    int dialSpan = 80;    // the dial's whole span is ten times this
    bool operator==(const ScaleNumbers &) const = default;
};

// Scale numbers and limit texts of a display class; nullopt limit texts keep the layout's.
struct DisplayClassRow {
    ScaleNumbers scale;
    std::optional<QString> highText, lowText;
};
DisplayClassRow displayClassRow(const QString &displayClass);

// What start-up derives from the model flags.
struct Profile {
    ModelFlags flags;
    FrameHandler handler = FrameHandler::None;
    int serialBaud = 2400;                        // COMM2 as stored: br2400
    QString title;                                // empty when no flag is set
    QString idleFirstDigit = QStringLiteral("2"); // the layout's LcdDa
    QString displayClass = QStringLiteral("4");
    ScaleNumbers scale;
    std::optional<QString> highText, lowText; // T1HI / T1LO replacements
    int hidRate = 2400;                       // rate feature report
    bool hidReading = false;                  // USBCon may start reading
};

Profile resolveProfile(const ModelFlags &flags);

} // namespace sorrel
