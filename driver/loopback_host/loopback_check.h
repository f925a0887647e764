// The signal a loopback host sends, and the check of what its inputs bring back: every
// frame that is not silence must be a frame that was sent. Between glitches the frames
// are the sent ones in order; silence the device played when a render queue ran dry
// may come between them. A glitch drops or repeats sent frames (the stream jumps), but
// never invents one.
#pragma once

#include <windows.h>

#include <cstddef>
#include <deque>
#include <vector>

// What the host sends on output channel `channel` at host frame `frame`: a
// pseudo-random value in the top 16 bits, which every device container carries exactly.
INT32 LoopbackSignal(ULONGLONG frame, long channel);

// Checks one input channel frame by frame as it arrives. Frame n of the input is
// compared with the frames sent up to n, at most `maxDelay` frames earlier.
class LoopbackChecker {
public:
    LoopbackChecker(long channel, long maxDelay);
    void Add(INT32 sample);
    // Decides about the frames still waiting for what follows them. Frames too few at
    // the very end to be told stay unverified, not corrupt.
    void Finish();

    // The round trip where the signal first came back; -1 before that.
    long RoundTrip() const { return roundTrip_; }
    // Places where the stream jumped: each relock on the sent frames, and each short
    // run of sent frames squeezed between two jumps.
    unsigned Discontinuities() const { return discontinuities_; }
    // Frames that are no sent frame at any round trip up to maxDelay.
    ULONGLONG CorruptFrames() const { return corruptFrames_; }
    // Input frames seen so far, and the verified run: the input frame where the current
    // stretch of sent frames without a jump began, and its last verified frame (silence
    // may lie between). Both are -1 before the signal came back.
    ULONGLONG Frames() const { return frames_; }
    LONGLONG RunStart() const { return runStart_; }
    LONGLONG LastVerified() const { return lastVerified_; }
    // Non-silent frames found to be sent frames in order.
    ULONGLONG VerifiedFrames() const { return verifiedFrames_; }

private:
    struct Waiting {
        ULONGLONG frame;
        INT32 sample;
        bool afterSilence;
    };

    INT32 Sent(ULONGLONG output) const { return LoopbackSignal(output, channel_); }
    bool Continues(INT32 sample, bool afterSilence);
    void Accept(ULONGLONG frame, ULONGLONG output);
    void Decide(bool final);
    bool FindLock(std::size_t* at, ULONGLONG* output);
    bool WindowMatches(std::size_t at, ULONGLONG output) const;
    void CoverShortRuns(std::size_t count);
    void IndexSentUpTo(ULONGLONG output);

    long channel_;
    long maxDelay_;
    ULONGLONG frames_ = 0;
    bool silenceBefore_ = false;
    std::deque<Waiting> waiting_;  // non-silent frames after a jump, until they can be told
    bool locked_ = false;
    ULONGLONG output_ = 0;  // the sent frame the last verified input frame carried
    long roundTrip_ = -1;
    unsigned discontinuities_ = 0;
    ULONGLONG corruptFrames_ = 0;
    LONGLONG runStart_ = -1;
    LONGLONG lastVerified_ = -1;
    ULONGLONG verifiedFrames_ = 0;

    // Sent frames by the top 16 bits of their value, newest first, for relocking.
    std::vector<ULONGLONG> newestByValue_;   // output frame + 1, 0 for none
    std::vector<ULONGLONG> olderSameValue_;  // by output frame modulo its size
    ULONGLONG indexed_ = 0;                  // sent frames below this are indexed
};

// The whole input at once: the round trip at its start, the jumps, and whether any frame
// was never sent.
struct LoopbackCheck {
    long roundTrip = -1;  // -1 when the signal never came back
    unsigned discontinuities = 0;
    bool corrupt = false;
};
LoopbackCheck CheckLoopback(const std::vector<INT32>& input, long channel, long maxDelay);

// Where the inputs carry the signal sent: the round trip in host frames, found at the
// first non-silent input frame at or after `from`; -1 when no delay up to `maxDelay`
// fits 64 frames there.
long FindRoundTrip(const std::vector<INT32>& input, long channel, std::size_t from, long maxDelay);
// Input frames from `from` to `to` that differ from the signal sent `delay` frames earlier.
std::size_t CountMismatches(const std::vector<INT32>& input, long channel, long delay, std::size_t from,
                            std::size_t to);
