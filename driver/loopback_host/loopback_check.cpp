#include "driver/loopback_host/loopback_check.h"

#include <algorithm>

namespace {

// Eight frames of 16 random bits each tell a round trip beyond doubt, and are short
// enough to fit between two glitches close together. After a jump the relock may come
// a few frames on, past a run too short to be told.
constexpr std::size_t Window = 8;
constexpr std::size_t RelockSpan = 16;
constexpr std::size_t Lookahead = Window + RelockSpan;
constexpr std::size_t ValueCount = 1 << 16;

DWORD ValueOf(INT32 sample)
{
    return DWORD(sample) >> 16;
}

std::size_t RingSizeFor(long maxDelay)
{
    std::size_t size = 1024;
    while (size <= std::size_t(maxDelay) + Lookahead) size *= 2;
    return size;
}

}  // namespace

INT32 LoopbackSignal(ULONGLONG frame, long channel)
{
    ULONGLONG mixed = (frame * 8 + ULONGLONG(channel) + 1) * 0x9E3779B97F4A7C15ull;
    mixed ^= mixed >> 29;
    return INT32(DWORD(mixed >> 16) & 0xFFFF0000u);
}

LoopbackChecker::LoopbackChecker(long channel, long maxDelay)
    : channel_(channel),
      maxDelay_(std::max(maxDelay, 0L)),
      newestByValue_(ValueCount, 0),
      olderSameValue_(RingSizeFor(maxDelay_), 0)
{
}

void LoopbackChecker::Add(INT32 sample)
{
    ULONGLONG frame = frames_++;
    if (sample == 0) {
        silenceBefore_ = true;
        return;
    }
    bool afterSilence = silenceBefore_;
    silenceBefore_ = false;
    if (waiting_.empty() && Continues(sample, afterSilence)) {
        Accept(frame, output_);
        return;
    }
    waiting_.push_back({frame, sample, afterSilence});
    Decide(false);
}

void LoopbackChecker::Finish()
{
    Decide(true);
}

// The next sent frame, or the one after it when a sent frame that happened to be zero
// passed as silence.
bool LoopbackChecker::Continues(INT32 sample, bool afterSilence)
{
    if (!locked_) return false;
    if (sample == Sent(output_ + 1)) {
        ++output_;
        return true;
    }
    if (afterSilence && Sent(output_ + 1) == 0 && sample == Sent(output_ + 2)) {
        output_ += 2;
        return true;
    }
    return false;
}

void LoopbackChecker::Accept(ULONGLONG frame, ULONGLONG output)
{
    output_ = output;
    lastVerified_ = LONGLONG(frame);
    ++verifiedFrames_;
}

void LoopbackChecker::Decide(bool final)
{
    while (!waiting_.empty()) {
        const Waiting& first = waiting_.front();
        if (Continues(first.sample, first.afterSilence)) {
            Accept(first.frame, output_);
            waiting_.pop_front();
            continue;
        }
        if (!final && waiting_.size() < Lookahead) return;
        std::size_t at = 0;
        ULONGLONG output = 0;
        if (FindLock(&at, &output)) {
            CoverShortRuns(at);
            const Waiting& locked = waiting_.front();
            if (locked_)
                ++discontinuities_;
            else
                roundTrip_ = long(locked.frame - output);
            locked_ = true;
            runStart_ = LONGLONG(locked.frame);
            Accept(locked.frame, output);
            waiting_.pop_front();
            continue;
        }
        if (final) {
            // Nothing follows the last frames: short runs are all they can be.
            CoverShortRuns(waiting_.size());
            return;
        }
        ++corruptFrames_;
        waiting_.pop_front();
    }
}

// The first waiting frame, within the relock span, from which a window of frames are
// consecutive sent frames; the sent frame it carries.
bool LoopbackChecker::FindLock(std::size_t* at, ULONGLONG* output)
{
    if (waiting_.size() < Window) return false;
    std::size_t last = std::min(RelockSpan, waiting_.size() - Window + 1);
    for (std::size_t candidate = 0; candidate < last; ++candidate) {
        const Waiting& first = waiting_[candidate];
        ULONGLONG lowest = first.frame > ULONGLONG(maxDelay_) ? first.frame - maxDelay_ : 0;
        IndexSentUpTo(first.frame);
        bool indexValid = indexed_ - lowest <= olderSameValue_.size();
        if (indexValid) {
            for (ULONGLONG entry = newestByValue_[ValueOf(first.sample)]; entry != 0 && entry - 1 >= lowest;
                 entry = olderSameValue_[(entry - 1) % olderSameValue_.size()]) {
                ULONGLONG sent = entry - 1;
                if (sent <= first.frame && Sent(sent) == first.sample && WindowMatches(candidate, sent)) {
                    *at = candidate;
                    *output = sent;
                    return true;
                }
            }
            continue;
        }
        for (ULONGLONG sent = lowest; sent <= first.frame; ++sent) {
            if (Sent(sent) == first.sample && WindowMatches(candidate, sent)) {
                *at = candidate;
                *output = sent;
                return true;
            }
        }
    }
    return false;
}

bool LoopbackChecker::WindowMatches(std::size_t at, ULONGLONG output) const
{
    for (std::size_t offset = 1; offset < Window; ++offset)
        if (waiting_[at + offset].sample != Sent(output + offset)) return false;
    return true;
}

// The `count` waiting frames before a relock lie between two jumps. Each must belong to
// a run of consecutive sent frames; every run is a jump of its own.
void LoopbackChecker::CoverShortRuns(std::size_t count)
{
    std::size_t index = 0;
    while (index < count) {
        const Waiting& first = waiting_[index];
        ULONGLONG lowest = first.frame > ULONGLONG(maxDelay_) ? first.frame - maxDelay_ : 0;
        std::size_t longest = 0;
        for (ULONGLONG sent = lowest; sent <= first.frame; ++sent) {
            if (Sent(sent) != first.sample) continue;
            std::size_t run = 1;
            while (index + run < count && waiting_[index + run].sample == Sent(sent + run)) ++run;
            longest = std::max(longest, run);
        }
        if (longest == 0) {
            ++corruptFrames_;
            ++index;
        } else {
            ++discontinuities_;
            index += longest;
        }
    }
    waiting_.erase(waiting_.begin(), waiting_.begin() + std::ptrdiff_t(count));
}

// Sent frames up to `output`, as far back as a relock may reach.
void LoopbackChecker::IndexSentUpTo(ULONGLONG output)
{
    ULONGLONG from = indexed_;
    if (output >= ULONGLONG(maxDelay_) && from < output - maxDelay_) from = output - maxDelay_;
    for (ULONGLONG sent = from; sent <= output; ++sent) {
        DWORD value = ValueOf(Sent(sent));
        olderSameValue_[sent % olderSameValue_.size()] = newestByValue_[value];
        newestByValue_[value] = sent + 1;
    }
    indexed_ = std::max(indexed_, output + 1);
}

LoopbackCheck CheckLoopback(const std::vector<INT32>& input, long channel, long maxDelay)
{
    LoopbackChecker checker(channel, maxDelay);
    for (INT32 sample : input) checker.Add(sample);
    checker.Finish();
    return {checker.RoundTrip(), checker.Discontinuities(), checker.CorruptFrames() != 0};
}

long FindRoundTrip(const std::vector<INT32>& input, long channel, std::size_t from, long maxDelay)
{
    constexpr std::size_t FindWindow = 64;
    std::size_t start = from;
    while (start < input.size() && input[start] == 0) ++start;
    if (start + FindWindow > input.size()) return -1;
    for (long delay = 0; delay <= maxDelay && ULONGLONG(delay) <= start; ++delay) {
        if (CountMismatches(input, channel, delay, start, start + FindWindow) == 0) return delay;
    }
    return -1;
}

std::size_t CountMismatches(const std::vector<INT32>& input, long channel, long delay, std::size_t from, std::size_t to)
{
    std::size_t mismatches = 0;
    for (std::size_t frame = from; frame < to && frame < input.size(); ++frame)
        if (frame < std::size_t(delay) || input[frame] != LoopbackSignal(frame - delay, channel)) ++mismatches;
    return mismatches;
}
