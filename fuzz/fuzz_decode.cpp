// Feeds arbitrary bytes to the frame handlers, the link dispatchers, the decoders
// and the limit rules, and checks what must hold whatever arrives.
// Input: byte 0 picks the road, byte 1 the profile and the decimal separator.

#include "app/metersession.h"
#include "decode/hidburstjoiner.h"

#include <cstdint>
#include <cstdlib>

using namespace sorrel;

namespace {

void check(bool ok)
{
    if (!ok)
        __builtin_trap();
}

const char *const kProfiles[] = {"osprey", "fulmar", "wren", "avocet,curlew", "harrier", "ibis"};
const char16_t *const kSeparators[] = {u".", u",", u"", u"\u066b"};

void checkPanel(const MeterSession &s)
{
    const LcdPanelState &p = s.panel();
    for (Ind id : kMainDigits)
        check(p.text(id).size() <= 1);
    check(p.isShown(Ind::conok) != p.isShown(Ind::conokn));
    check(s.frameText().size() <= FrameAssembler::kKeptDigits);
    check(s.assembler().dataDigits().size() <= size_t(FrameAssembler::kKeptDigits));
    check(s.assembler().dataDigits().size() == s.assembler().sequenceDigits().size());
    check(s.state().currentValue.size() <= 4 + 3 * ValueText::kSeparatorMax);
    const FrameOutcome &o = s.lastOutcome();
    check(!o.verdict || o.counted);
    if (o.counted) {
        check(o.family == Family::Tern);
        check(p.bar() >= 1 && p.bar() <= 9999);
        check(s.state().lastReading >= 0 && s.state().lastReading <= 9999);
    }
}

void checkDecoded(const DecodedFrame &f)
{
    if (f.badDigit)
        return;
    for (char g : f.glyphs)
        check(g == 0 || (g >= '0' && g <= '9') || g == '@' || g == 'u' || g == 's' || g == 'b');
    check(f.pointPosition >= 0 && f.pointPosition <= 3);
    check(f.secondRowCount <= 6);
    check(size_t(f.unit) < size_t(Unit::Count));
}

QString textOf(const uint8_t *data, size_t size)
{
    // Mostly hex digits, sometimes anything.
    QString t;
    for (size_t i = 0; i < size; ++i) {
        const uint8_t b = data[i];
        t += b < 0xF0 ? QChar(u"0123456789ABCDEF"[b & 15]) : QChar(char16_t(b & 0x7f));
    }
    return t;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    const uint8_t road = data[0] % 6;
    const uint8_t setup = data[1];
    data += 2;
    size -= 2;

    RecordingNotifier notifier;
    const auto flags = parseModelFlags(QString::fromLatin1(kProfiles[setup % 6]));
    const QString sep = QString::fromUtf16(kSeparators[(setup >> 4) % 4]);
    MeterSession session(resolveProfile(*flags), sep, notifier);
    int dialCalls = 0;
    QObject::connect(&session, &MeterSession::dialMoved, &session, [&] { ++dialCalls; });
    QObject::connect(&session, &MeterSession::readingJudged, &session,
                     [&] { check(session.lastOutcome().family == Family::Tern); });
    const QByteArrayView bytes(reinterpret_cast<const char *>(data), qsizetype(size));

    switch (road) {
    case 0:
    case 1: {
        // Serial: split the stream at the positions the first bytes name.
        qsizetype at = 0;
        while (at < bytes.size()) {
            const qsizetype n = std::min<qsizetype>(bytes.size() - at, 1 + (uint8_t(bytes[at]) % 40));
            if (road == 0)
                session.HTernRData(bytes.sliced(at, n));
            else
                session.HWrenRData(bytes.sliced(at, n));
            checkPanel(session);
            at += n;
        }
        break;
    }
    case 2:
        for (qsizetype at = 0; at + 32 <= bytes.size(); at += 32) {
            session.darkenReceiveLamp();
            session.dispatchBridgeRead(bytes.sliced(at, 32));
            checkPanel(session);
        }
        break;
    case 3: {
        // HID reports: a length byte, the report id, the data bytes.
        HidBurstJoiner joiner;
        qsizetype at = 0;
        while (at + 2 <= bytes.size()) {
            const qsizetype n = std::min<qsizetype>(bytes.size() - at - 2, uint8_t(bytes[at]) % 16);
            const auto r = joiner.feed(quint8(bytes[at + 1]), bytes.sliced(at + 2, n));
            check(joiner.byteText().size() <= 2 * HidBurstJoiner::kMaxPairs);
            if (r.frameText) {
                check(r.frameText->size() <= HidBurstJoiner::kMaxPairs);
                runGuarded(notifier, [&] { session.dispatchHidFrame(*r.frameText); });
                checkPanel(session);
            }
            at += 2 + n;
        }
        break;
    }
    case 4: {
        // A frame text of any length and content, straight into each decoder.
        const QString text = textOf(data, std::min<size_t>(size, 64));
        const DecodeContext ctx{sep, session.state().scale};
        checkDecoded(LcdDisplayTern(text, ctx));
        checkDecoded(LcdDisplayWren(text, ctx));
        session.setFrameText(text);
        runGuarded(notifier, [&] { session.LcdDisplayTern(1); });
        checkPanel(session);
        runGuarded(notifier, [&] { session.LcdDisplayWren(1); });
        checkPanel(session);
        session.LcdDisplayRook();
        checkPanel(session);
        runGuarded(notifier, [&] { session.dispatchHidFrame(text); });
        runGuarded(notifier, [&] { session.dispatchBridgeFrame(text); });
        runGuarded(notifier, [&] { session.injectFrame(text); });
        checkPanel(session);
        break;
    }
    case 5: {
        // Limit texts as typed, then a reading judged against them.
        const QString text = QString::fromUtf8(bytes.data(), bytes.size());
        LimitJudge &j = session.judge();
        const LimitBox box = setup & 1 ? LimitBox::High : LimitBox::Low;
        for (QChar c : text)
            j.acceptsKey(box, c);
        j.change(box, text, notifier);
        check(j.lastAccepted(box).isEmpty() || readLimitNumber(j.lastAccepted(box), sep) != kNotANumber);
        j.leave(box);
        j.setMeasuredValue(text);
        j.judge();
        break;
    }
    }
    return 0;
}
