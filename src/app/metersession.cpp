#include "app/metersession.h"

#include "decode/dispatch.h"
#include "link/bridgelink.h"

namespace sorrel {

MeterSession::MeterSession(const Profile &profile, const QString &decimalSeparator, Notifier &notifier,
                           QObject *parent)
    : QObject(parent), profile_(profile), notifier_(notifier), judge_(decimalSeparator)
{
    state_.decimalSeparator = decimalSeparator;
    state_.displayClass = profile.displayClass;
    state_.scale = profile.scale;
    panel_.setText(Ind::LcdDa, profile.idleFirstDigit);
    judge_.startUp(profile, notifier_);
    frameText_.reserve(FrameAssembler::kKeptDigits);
}

void MeterSession::receiveSerial(QByteArrayView bytes)
{
    switch (profile_.handler) {
    case FrameHandler::Tern:
        HTernRData(bytes);
        break;
    case FrameHandler::Wren:
        HWrenRData(bytes);
        break;
    case FrameHandler::None:
        break;
    }
}

void MeterSession::darkenReceiveLamp()
{
    panel_.hide(Ind::conok);
    panel_.show(Ind::conokn);
    Q_EMIT panelChanged();
}

// ---- frame text and assembly -------------------------------------------------------

void MeterSession::setFrameDigits(std::string_view digits)
{
    // Written in place: the text keeps its capacity from frame to frame.
    frameText_.resize(qsizetype(digits.size()));
    QChar *out = frameText_.data();
    for (size_t i = 0; i < digits.size(); ++i)
        out[i] = QLatin1Char(digits[i]);
}

void MeterSession::setFrameText(QStringView digits)
{
    frameText_.resize(digits.size());
    std::copy(digits.begin(), digits.end(), frameText_.data());
}

void MeterSession::HTernRData(QByteArrayView bytes)
{
    for (char b : bytes) {
        const FrameAssembler::End end = assembler_.pushTern(std::uint8_t(b));
        if (end == FrameAssembler::End::None)
            continue;
        setFrameDigits(assembler_.frame());
        if (end == FrameAssembler::End::Passed)
            LcdDisplayTern(1);
    }
}

void MeterSession::HWrenRData(QByteArrayView bytes)
{
    for (char b : bytes) {
        const FrameAssembler::End end = assembler_.pushWren(std::uint8_t(b));
        if (end == FrameAssembler::End::None)
            continue;
        setFrameDigits(assembler_.frame());
        if (end == FrameAssembler::End::Passed)
            LcdDisplayWren(1);
    }
}

void MeterSession::dispatch(std::optional<Family> family)
{
    if (!family)
        return;
    switch (*family) {
    case Family::Tern:
        LcdDisplayTern(1);
        break;
    case Family::Wren:
        LcdDisplayWren(1);
        break;
    case Family::Rook:
        LcdDisplayRook();
        break;
    }
}

void MeterSession::dispatchBridgeFrame(const QString &frameText)
{
    if (state_.previewOpen)
        return;
    setFrameText(QStringView(frameText));
    dispatch(dispatchFamily(kBridgeDispatch, frameText_));
}

void MeterSession::dispatchBridgeRead(QByteArrayView bytes)
{
    if (state_.previewOpen)
        return;
    writeBridgeFrameText(bytes.first(std::min<qsizetype>(bytes.size(), BridgeLink::kFrameBytes)), frameText_);
    dispatch(dispatchFamily(kBridgeDispatch, frameText_));
}

void MeterSession::dispatchHidFrame(const QString &frameText)
{
    setFrameText(QStringView(frameText));
    dispatch(dispatchFamily(kHidDispatch, frameText_));
}

bool MeterSession::injectFrame(QStringView digits)
{
    for (QChar c : digits)
        if (hexValue(c.unicode()) < 0)
            return false;
    if (digits.size() == 32) {
        dispatchBridgeFrame(digits.toString());
        return true;
    }
    if (digits.size() == 14) {
        QByteArray bytes(14, '\0');
        for (int i = 0; i < 14; ++i)
            bytes[i] = char((i + 1) << 4 | hexValue(digits[i].unicode()));
        HTernRData(bytes);
        return true;
    }
    return false;
}

// ---- decoders ------------------------------------------------------------------------

void MeterSession::LcdDisplayTern(int)
{
    apply(sorrel::LcdDisplayTern(frameText_, context()));
}

void MeterSession::LcdDisplayWren(int)
{
    apply(sorrel::LcdDisplayWren(frameText_, context()));
}

void MeterSession::LcdDisplayRook()
{
    apply(sorrel::LcdDisplayRook());
}

// ---- the apply step --------------------------------------------------------------------

void MeterSession::apply(const DecodedFrame &frame)
{
    outcome_ = FrameOutcome{frame.family, false, std::nullopt, std::nullopt};
    try {
        switch (frame.family) {
        case Family::Tern:
            applyTern(frame);
            break;
        case Family::Wren:
            applyWren(frame);
            break;
        case Family::Rook:
            applyRook(frame);
            break;
        }
    } catch (...) {
        Q_EMIT panelChanged(); // the lamp, at least, has changed
        throw;
    }
    Q_EMIT panelChanged();
    Q_EMIT frameDecoded();
}

void MeterSession::lightReceiveLamp()
{
    panel_.show(Ind::conok);
    panel_.hide(Ind::conokn);
    state_.watchdogCount = 0;
}

void MeterSession::setIndicators(const DecodedFrame &frame)
{
    for (const IndicatorBit &b : frame.points)
        panel_.setShown(b.id, b.on);
    for (const IndicatorBit &b : frame.annunciators)
        panel_.setShown(b.id, b.on);
}

// Most texts a frame writes are the shared glyph and unit instances the panel already
// holds; skipping those spares two atomic reference-count updates each.
static void assignShared(QString &to, const QString &from)
{
    if (to.constData() != from.constData() || to.size() != from.size())
        to = from;
}

void MeterSession::setPanelText(Ind id, const QString &text)
{
    if (panel_.text(id).constData() != text.constData() || panel_.text(id).size() != text.size())
        panel_.setText(id, text);
}

void MeterSession::setDigitTexts(const DecodedFrame &frame)
{
    for (size_t i = 0; i < kMainDigits.size(); ++i)
        setPanelText(kMainDigits[i], glyphText(frame.glyphs[i]));
    for (size_t i = 0; i < frame.secondRowCount; ++i)
        setPanelText(kSecondRow[i], glyphText(frame.secondRow[i]));
}

void MeterSession::setCurrentValue(const DecodedFrame &frame)
{
    // Steady readings repeat their text: compare first, so they cost no allocation.
    if (state_.currentValue != frame.value.view())
        state_.currentValue = frame.value.toString();
}

static QString badDigitMessage(char16_t c)
{
    return QStringLiteral("'%1' is not a valid integer value").arg(QChar(c));
}

void MeterSession::applyTern(const DecodedFrame &f)
{
    lightReceiveLamp();
    if (f.badDigit)
        throw Failure(badDigitMessage(f.badDigit));
    panel_.hideCommonResetSet();
    panel_.hideLightMeterResetSet();
    panel_.show(Ind::T_dPoint1);
    panel_.show(Ind::T_dPoint2);
    setIndicators(f);
    assignShared(state_.currentUnit, unitText(f.unit));
    setDigitTexts(f);
    setCurrentValue(f);
    if (!f.reading)
        return;
    outcome_.counted = true;
    state_.lastReading = *f.reading;

    updateExtremes(f.pointPosition);

    if (f.dial) {
        outcome_.dial = f.dial;
        Q_EMIT dialMoved(*f.dial);
    }

    judge_.setMeasuredValue(state_.currentValue);
    outcome_.verdict = judge_.judge();

    Q_EMIT readingJudged();

    panel_.setBar(f.bar);
    panel_.show(Ind::usb1);
    panel_.show(Ind::T_dPoint1);
    panel_.show(Ind::T_dPoint2);
}

void MeterSession::applyWren(const DecodedFrame &f)
{
    lightReceiveLamp();
    if (f.badDigit)
        throw Failure(badDigitMessage(f.badDigit));
    panel_.hideCommonResetSet();
    setIndicators(f);
    assignShared(state_.currentUnit, unitText(f.unit));
    setCurrentValue(f);
    updateExtremes(f.pointPosition);
    setDigitTexts(f);
}

void MeterSession::applyRook(const DecodedFrame &f)
{
    panel_.hideCommonResetSet();
    panel_.hideLightMeterResetSet();
    panel_.hide(Ind::T_dPoint1);
    panel_.hide(Ind::T_dPoint2);
    setIndicators(f);
    setDigitTexts(f);
}

void MeterSession::updateExtremes(int pointPosition)
{
    ReadingState &s = state_;
    if (s.currentUnit != s.previousUnit || pointPosition != s.previousPointPosition) {
        // Restart; this reading is not compared, the texts stay until beaten.
        assignShared(s.previousUnit, s.currentUnit);
        s.runningMax = -float(s.scale.fullScale);
        s.runningMin = float(s.scale.fullScale);
    } else {
        if (s.lastReading >= s.runningMax) {
            s.maxText = s.currentValue;
            s.runningMax = s.lastReading;
        }
        if (s.lastReading <= s.runningMin) {
            s.minText = s.currentValue;
            s.runningMin = s.lastReading;
        }
    }
    s.previousPointPosition = pointPosition;
    setPanelText(Ind::MaxText, s.maxText);
    setPanelText(Ind::MinText, s.minText);
    setPanelText(Ind::MaxTextU, s.currentUnit);
    setPanelText(Ind::MinTextU, s.currentUnit);
}

} // namespace sorrel
