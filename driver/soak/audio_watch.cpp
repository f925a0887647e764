#include "driver/soak/audio_watch.h"

namespace {

// Sent frames in a row without a jump that count as audio being back.
constexpr ULONGLONG ReturnedFrames = 2048;

LONGLONG CounterFrequency()
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return frequency.QuadPart;
}

}  // namespace

bool AudioWatch::Pump()
{
    ULONGLONG written = feed_.Written();
    if (written - read_ > feed_.Capacity()) return false;
    for (; read_ < written; ++read_) {
        checker_.Add(feed_.At(read_));
        if (watching_) TrackReturn();
    }
    return true;
}

void AudioWatch::AwaitReturnFrom(LONGLONG ended)
{
    watching_ = true;
    from_ = feed_.Written();
    ended_ = ended;
    runFrom_ = -1;
    runStart_ = -1;
    returnedAt_ = 0;
}

void AudioWatch::TrackReturn()
{
    LONGLONG last = checker_.LastVerified();
    if (last < LONGLONG(from_)) return;
    if (runFrom_ < 0 || checker_.RunStart() != runStart_) {
        // A jump (or the first sent frame heard): the count starts again here.
        runStart_ = checker_.RunStart();
        runFrom_ = last;
        verifiedAtRunFrom_ = checker_.VerifiedFrames();
    }
    if (checker_.VerifiedFrames() - verifiedAtRunFrom_ + 1 < ReturnedFrames) return;
    returnedAt_ = feed_.TimeOf(ULONGLONG(runFrom_));
    if (returnedAt_ == 0) returnedAt_ = ended_;
    watching_ = false;
}

double AudioWatch::RecoveryMs() const
{
    static const LONGLONG frequency = CounterFrequency();
    LONGLONG took = returnedAt_ - ended_;
    return took <= 0 ? 0.0 : double(took) * 1000.0 / double(frequency);
}
