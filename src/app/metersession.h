#pragma once
// The meter session: one frame's road from bytes to the panel, the reading state,
// the dial, the judge and the recorder. Shared by the window and the command-line tool.

#include "base/lcdpanelstate.h"
#include "base/notifier.h"
#include "base/profile.h"
#include "base/readingstate.h"
#include "decode/decodedframe.h"
#include "decode/frameassembler.h"
#include "display/limitjudge.h"
#include "link/meterport.h"

#include <QByteArrayView>
#include <QObject>
#include <optional>

namespace sorrel {

// What the last decoder call did beyond the panel, for tools and tests.
struct FrameOutcome {
    Family family = Family::Tern;
    bool counted = false;           // went on past the number step
    std::optional<int> dial;        // given to KDrun
    std::optional<Verdict> verdict; // judged this frame
};

class MeterSession : public QObject, public MeterPort {
    Q_OBJECT
public:
    MeterSession(const Profile &profile, const QString &decimalSeparator, Notifier &notifier,
                 QObject *parent = nullptr);

    const Profile &profile() const override { return profile_; }
    Notifier &notifier() override { return notifier_; }
    LcdPanelState &panel() { return panel_; }
    const LcdPanelState &panel() const { return panel_; }
    ReadingState &state() { return state_; }
    const ReadingState &state() const { return state_; }
    LimitJudge &judge() { return judge_; }
    const LimitJudge &judge() const { return judge_; }

    // Serial bytes, fed to the frame handler the profile binds (none: discarded).
    void receiveSerial(QByteArrayView bytes) override;
    // The two serial frame handlers (receive events of the serial driver).
    void HTernRData(QByteArrayView bytes);
    void HWrenRData(QByteArrayView bytes);
    // The bridge poll empties the serial accumulators after each read.
    void clearSerialAccumulators() override { assembler_.clear(); }
    const FrameAssembler &assembler() const { return assembler_; }

    // A 32-digit frame text from the USB bridge, dispatched by the bridge table.
    // While the report preview is open nothing is stored or decoded.
    void dispatchBridgeFrame(const QString &frameText) override;
    // One bridge read (the first 32 bytes count), as the bridge poll turns it into
    // a frame text, dispatched as dispatchBridgeFrame does.
    void dispatchBridgeRead(QByteArrayView bytes);
    // A frame text of up to 32 digits from the HID cable, dispatched by the HID table.
    void dispatchHidFrame(const QString &frameText) override;

    // Frame digits as a link would bring them, for showing a reading without a meter:
    // 32 digits go through the bridge table, 14 digits are sent as one serial Tern
    // frame (whatever handler the profile binds). False for any other text.
    bool injectFrame(QStringView digits);

    // The frame text and the decoders that read it.
    const QString &frameText() const { return frameText_; }
    void setFrameText(QStringView digits);
    void LcdDisplayTern(int unused = 1);
    void LcdDisplayWren(int unused = 1);
    void LcdDisplayRook();

    const FrameOutcome &lastOutcome() const { return outcome_; }

    // Turns the receive lamp to "no data" (connection timer, bridge poll).
    void darkenReceiveLamp() override;
    bool receiveLampDark() const override { return !panel_.isShown(Ind::conok) && panel_.isShown(Ind::conokn); }
    bool previewOpen() const override { return state_.previewOpen; }
    int idleTicks() const override { return state_.watchdogCount; }
    void setIdleTicks(int ticks) override { state_.watchdogCount = ticks; }

Q_SIGNALS:
    // A counted Tern reading set the dial (KDrun), before it is judged.
    void dialMoved(int position);
    // A counted Tern reading was judged: the place of INDataToTable, before the bar
    // and the points are set.
    void readingJudged();

    // After every decoder call and lamp change: the panel and the reading state may
    // have changed. Widgets repaint on it (update() coalesces).
    void panelChanged();
    // After a decoder call ran to its end; lastOutcome() tells what it did.
    void frameDecoded();

private:
    void setFrameDigits(std::string_view digits);
    void dispatch(std::optional<Family> family);
    void apply(const DecodedFrame &frame);
    void applyTern(const DecodedFrame &frame);
    void applyWren(const DecodedFrame &frame);
    void applyRook(const DecodedFrame &frame);
    void lightReceiveLamp();
    void setIndicators(const DecodedFrame &frame);
    void setDigitTexts(const DecodedFrame &frame);
    void setPanelText(Ind id, const QString &text);
    void setCurrentValue(const DecodedFrame &frame);
    void updateExtremes(int pointPosition);
    DecodeContext context() const { return {state_.decimalSeparator, state_.scale}; }

    Profile profile_;
    Notifier &notifier_;
    LcdPanelState panel_;
    ReadingState state_;
    LimitJudge judge_;
    FrameAssembler assembler_;
    QString frameText_;
    FrameOutcome outcome_;
};

} // namespace sorrel
