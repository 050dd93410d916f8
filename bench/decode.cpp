// Frames per second through assembly, dispatch, decode and apply, on a headless
// session with the dial and recorder hooks plugged (doing nothing).
//   build/bench/bench_decode [seconds per run, default 2]

#include "app/metersession.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

using namespace sorrel;
using Clock = std::chrono::steady_clock;

namespace {

// Pattern bytes (d g e f, point, b c a) of the digits 0-9.
constexpr unsigned char kDigit[10] = {0xB7, 0x06, 0xE5, 0xC7, 0x56, 0xD3, 0xF3, 0x07, 0xF7, 0xD7};

// A 32-digit Tern frame text for a reading of four digits, point after digit 2, lux.
QString ternDigits(int reading, bool point)
{
    QString t(32, u'0');
    int r = reading;
    for (int n = 4; n >= 1; --n) { // digit n at positions 11-2n, 12-2n
        unsigned char b = kDigit[r % 10];
        r /= 10;
        if (point && n == 2)
            b |= 0x08;
        t[10 - 2 * n] = QChar(u"0123456789ABCDEF"[b >> 4]);
        t[11 - 2 * n] = QChar(u"0123456789ABCDEF"[b & 15]);
    }
    t[18] = u'8'; // LUX
    t[19] = u'2'; // USB
    t[30] = u'D';
    t[31] = u'A';
    return t;
}

struct Result {
    double framesPerSecond;
    long long frames;
};

template <class Feed>
Result measure(double seconds, int framesPerCall, Feed feed)
{
    long long frames = 0;
    const auto start = Clock::now();
    const auto until = start + std::chrono::duration<double>(seconds);
    while (Clock::now() < until) {
        for (int i = 0; i < 64; ++i)
            feed();
        frames += 64LL * framesPerCall;
    }
    const double s = std::chrono::duration<double>(Clock::now() - start).count();
    return {frames / s, frames};
}

} // namespace

int main(int argc, char **argv)
{
    const double seconds = argc > 1 ? std::atof(argv[1]) : 2.0;
    RecordingNotifier notifier;
    MeterSession session(resolveProfile(ModelFlags::shipped()), QStringLiteral("."), notifier);
    long long counted = 0, dialMoves = 0;
    QObject::connect(&session, &MeterSession::readingJudged, &session, [&] { ++counted; });
    QObject::connect(&session, &MeterSession::dialMoved, &session, [&] { ++dialMoves; });

    // 1000 frames with readings that all differ from their neighbours.
    constexpr int kFrames = 1000;
    QByteArray serial, bridge;
    for (int i = 0; i < kFrames; ++i) {
        const QString t = ternDigits((i * 37) % 2000, i % 3 == 0);
        for (int k = 0; k < 14; ++k)
            serial += char((k + 1) << 4 | QString(t[k]).toInt(nullptr, 16));
        for (int k = 0; k < 32; ++k)
            bridge += char(k >= 30 ? (k == 30 ? 0x0d : 0x0a) : 0x30 | QString(t[k]).toInt(nullptr, 16));
    }

    const Result s = measure(seconds, kFrames, [&] { session.HTernRData(serial); });
    const long long serialCounted = counted;
    const Result b = measure(seconds, kFrames, [&] {
        for (qsizetype at = 0; at < bridge.size(); at += 32)
            session.dispatchBridgeRead(QByteArrayView(bridge).sliced(at, 32));
    });

    if (serialCounted != s.frames || counted != s.frames + b.frames || notifier.messages.size()) {
        std::fprintf(stderr, "frames lost: %lld of %lld counted\n", counted, s.frames + b.frames);
        return 1;
    }
    std::printf("serial Tern frames (HTernRData, 14 bytes each):    %12.0f frames/s  (%lld frames)\n",
                s.framesPerSecond, s.frames);
    std::printf("USB bridge Tern reads (32 bytes each, bridge table): %10.0f frames/s  (%lld frames)\n",
                b.framesPerSecond, b.frames);
    std::printf("last reading %s %s, dial moves %lld\n", qPrintable(session.state().currentValue),
                qPrintable(session.state().currentUnit), dialMoves);
    return 0;
}
