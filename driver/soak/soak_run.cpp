#include "driver/soak/soak_run.h"

#include <algorithm>
#include <cstdarg>
#include <initializer_list>
#include <random>

#include "driver/core/module.h"
#include "driver/core/oem_block.h"
#include "driver/engine/pin_events.h"
#include "driver/soak/audio_watch.h"
#include "driver/soak/soak_session.h"
#include "hardware_simulator/hardware_simulator.h"
#include "test_support/process_holdings.h"

namespace sim = hardware_simulator;

namespace {

constexpr std::size_t Qorda = 0;
constexpr ULONG LoopbackLatencyFrames = 32;
constexpr long LargestBuffer = 1024;
// The longest round trip the stream may have on the way back from a fault: a full
// render queue and a capture backlog just short of the restart they call for (eight
// blocks each), two blocks in flight, the loop and the converters' filters.
constexpr long MaxRoundTrip = (8 + 8 + 2) * LargestBuffer + 4096;
constexpr DWORD RecoveryLimitMs = 10000;
constexpr double WorstAllowedRecoveryMs = 3000;
// Long enough for the stall restart, which opens every pin anew: faults that act at
// an open are met by one.
constexpr DWORD ForcedStallMs = 1200;
constexpr DWORD WarmUpMs = 1000;
constexpr DWORD LogClearPeriodMs = 1000;

constexpr ULONG_PTR StatusCancelled = 0xC0000120;
constexpr ULONG_PTR StatusUnsuccessful = 0xC0000001;
constexpr ULONG_PTR StatusDeviceNotConnected = 0xC000009D;

LONGLONG Now()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

// The soak's driver goes by a name of its own, so its settings live under a key that no
// other program or test run beside it reads or clears, and it accepts any audio device.
// Its settings go when it ends.
class SoakDriverIdentity {
public:
    SoakDriverIdentity() : saved_(OemConfig)
    {
        lstrcpynA(OemConfig.driverName.text, "Kaskade Soak", sizeof(OemConfig.driverName.text));
        OemConfig.hardwareId.text[0] = '\0';
        RegDeleteTreeA(HKEY_CURRENT_USER, SettingsKey().c_str());
    }
    ~SoakDriverIdentity()
    {
        RegDeleteTreeA(HKEY_CURRENT_USER, SettingsKey().c_str());
        OemConfig = saved_;
    }
    SoakDriverIdentity(const SoakDriverIdentity&) = delete;
    SoakDriverIdentity& operator=(const SoakDriverIdentity&) = delete;

private:
    static std::string SettingsKey() { return std::string("SOFTWARE\\") + OemConfig.driverName.text; }
    OemConfigBlock saved_;
};

class Soak {
public:
    Soak(const SoakOptions& options, SoakResult& result) : options_(options), result_(result), random_(options.seed) {}

    void Run();

private:
    void Problem(const std::string& what);
    void Progress(const char* format, ...);
    void Pump();
    void Wait(DWORD milliseconds);

    double Uniform(double low, double high) { return std::uniform_real_distribution<double>(low, high)(random_); }
    int Between(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }
    template <typename T>
    T Pick(std::initializer_list<T> choices)
    {
        return *(choices.begin() + Between(0, int(choices.size()) - 1));
    }
    ULONG AnyDataFlow() { return Pick({ULONG(KSPIN_DATAFLOW_IN), ULONG(KSPIN_DATAFLOW_OUT)}); }

    long BufferSizeFor(double rate)
    {
        return rate > 48000 ? Pick({128L, 256L, 512L, 1024L}) : Pick({64L, 128L, 256L, 512L, 1024L});
    }
    SessionFormat RandomFormat();
    bool OpenSession(const SessionFormat& format);
    void ForceRestart();
    std::string Apply(SoakEvent event);
    void AwaitAudio(SoakEvent event, const std::string& what, const LONG (&restartsBefore)[int(RestartCause::Count)]);

    const SoakOptions& options_;
    SoakResult& result_;
    std::mt19937_64 random_;
    InputFeed feed_;
    AudioWatch watch_{feed_, MaxRoundTrip};
    SoakSession session_{&feed_};
    DWORD logClearedAt_ = 0;
    ULONGLONG corruptReported_ = 0;  // frames never sent, as far as the progress lines told
};

void Soak::Problem(const std::string& what)
{
    result_.problems.push_back(what);
    Progress("PROBLEM: %s", what.c_str());
}

void Soak::Progress(const char* format, ...)
{
    if (options_.progress == nullptr) return;
    va_list arguments;
    va_start(arguments, format);
    std::vfprintf(options_.progress, format, arguments);
    va_end(arguments);
    std::fputc('\n', options_.progress);
    std::fflush(options_.progress);
}

void Soak::Pump()
{
    if (!watch_.Pump() && !result_.watchFellBehind) {
        result_.watchFellBehind = true;
        Problem("the audio watch fell behind the host's inputs");
    }
    // The simulator logs every request; the soak has no use for the log and keeps it short.
    if (GetTickCount() - logClearedAt_ >= LogClearPeriodMs) {
        sim::ClearRequestLog();
        logClearedAt_ = GetTickCount();
    }
}

void Soak::Wait(DWORD milliseconds)
{
    DWORD start = GetTickCount();
    do {
        Pump();
        Sleep(5);
    } while (GetTickCount() - start < milliseconds);
}

SessionFormat Soak::RandomFormat()
{
    double rate = Pick({44100.0, 48000.0, 88200.0, 96000.0});
    long bufferSize = BufferSizeFor(rate);
    auto habit = Pick({OutputReadyHabit::Never, OutputReadyHabit::InSwitch, OutputReadyHabit::FromAnotherThread});
    return {bufferSize, rate, habit};
}

bool Soak::OpenSession(const SessionFormat& format)
{
    ++result_.sessions;
    if (session_.Open(format) && session_.Start()) return true;
    Problem("a session at " + std::to_string(long(format.rate)) + " Hz, " + std::to_string(format.bufferSize) +
            " frames would not open: " + session_.Failure());
    return false;
}

void Soak::ForceRestart()
{
    sim::SetClockStalled(Qorda, true);
    Wait(ForcedStallMs);
    sim::SetClockStalled(Qorda, false);
}

std::string Soak::Apply(SoakEvent event)
{
    char what[160] = "";
    switch (event) {
    case SoakEvent::Unplug: {
        int ms = Between(200, 3000);
        sim::Unplug(Qorda);
        Wait(DWORD(ms));
        sim::Replug(Qorda);
        std::snprintf(what, sizeof(what), "away for %d ms", ms);
        break;
    }
    case SoakEvent::ClockStall: {
        int ms = Between(50, 2500);
        sim::SetClockStalled(Qorda, true);
        Wait(DWORD(ms));
        sim::SetClockStalled(Qorda, false);
        std::snprintf(what, sizeof(what), "%d ms", ms);
        break;
    }
    case SoakEvent::RenderStall:
    case SoakEvent::CaptureStall: {
        ULONG flow = event == SoakEvent::RenderStall ? KSPIN_DATAFLOW_IN : KSPIN_DATAFLOW_OUT;
        int ms = Between(50, 2000);
        sim::SetPinsStalled(Qorda, flow, true);
        Wait(DWORD(ms));
        sim::SetPinsStalled(Qorda, flow, false);
        std::snprintf(what, sizeof(what), "%d ms", ms);
        break;
    }
    case SoakEvent::ClockDeviation: {
        double ppm = Uniform(-100, 100);
        int ms = Between(2000, 6000);
        sim::SetClockDeviation(Qorda, ppm);
        Wait(DWORD(ms));
        sim::SetClockDeviation(Qorda, 0);
        std::snprintf(what, sizeof(what), "%+.0f ppm for %d ms", ppm, ms);
        break;
    }
    case SoakEvent::CompletionDelay: {
        ULONG flow = AnyDataFlow();
        int delay = Between(0, 15), jitter = Between(0, 15), ms = Between(500, 3000);
        sim::SetCompletionDelay(Qorda, flow, ULONG(delay), ULONG(jitter));
        Wait(DWORD(ms));
        sim::SetCompletionDelay(Qorda, flow, 0, 0);
        std::snprintf(what, sizeof(what), "%s %d ms + up to %d ms for %d ms",
                      flow == KSPIN_DATAFLOW_IN ? "render" : "capture", delay, jitter, ms);
        break;
    }
    case SoakEvent::PropertyFailure: {
        bool position = Between(0, 1) == 0;
        int count = Between(1, 5);
        if (position)
            sim::FailPinProperty(Qorda, KSPROPSETID_Audio, KSPROPERTY_AUDIO_POSITION, ERROR_GEN_FAILURE, count);
        else
            sim::FailPinProperty(Qorda, PinHintPropertySet, PinHintPropertyId, ERROR_GEN_FAILURE, count);
        ForceRestart();
        std::snprintf(what, sizeof(what), "%d %s requests", count, position ? "audio position" : "pin hint");
        break;
    }
    case SoakEvent::StateFailure: {
        ULONG flow = AnyDataFlow();
        ULONG state = Pick({ULONG(KSSTATE_STOP), ULONG(KSSTATE_PAUSE), ULONG(KSSTATE_RUN)});
        int count = Between(1, 3);
        sim::FailPinStateChange(Qorda, flow, state, ERROR_GEN_FAILURE, count);
        ForceRestart();
        std::snprintf(what, sizeof(what), "%d changes of %s pins to state %lu", count,
                      flow == KSPIN_DATAFLOW_IN ? "render" : "capture", state);
        break;
    }
    case SoakEvent::RequestFailure: {
        ULONG flow = AnyDataFlow();
        ULONG_PTR status = Pick({StatusCancelled, StatusUnsuccessful, StatusDeviceNotConnected});
        ULONG bytes = Pick({0UL, 240UL, 2400UL});
        int count = Between(1, 3);
        sim::EndStreamRequests(Qorda, flow, status, bytes, count);
        Wait(200);
        std::snprintf(what, sizeof(what), "%d %s requests ended with 0x%08lX after %lu bytes", count,
                      flow == KSPIN_DATAFLOW_IN ? "render" : "capture", DWORD(status), bytes);
        break;
    }
    case SoakEvent::CreationFailure: {
        ULONG flow = AnyDataFlow();
        int count = Between(1, 5);
        sim::FailPinCreation(Qorda, flow, ERROR_GEN_FAILURE, count);
        ForceRestart();
        std::snprintf(what, sizeof(what), "%d %s pin creations", count,
                      flow == KSPIN_DATAFLOW_IN ? "render" : "capture");
        break;
    }
    case SoakEvent::RateChange: {
        SessionFormat format = session_.Format();
        double rate = format.rate;
        while (rate == format.rate || (format.bufferSize < 128 && rate > 48000))
            rate = Pick({44100.0, 48000.0, 88200.0, 96000.0});
        if (!session_.ChangeRate(rate)) Problem("the rate change to " + std::to_string(long(rate)) + " Hz failed");
        std::snprintf(what, sizeof(what), "%.0f to %.0f Hz", format.rate, rate);
        break;
    }
    case SoakEvent::BufferSizeChange: {
        SessionFormat format = session_.Format();
        long bufferSize = format.bufferSize;
        while (bufferSize == format.bufferSize) bufferSize = BufferSizeFor(format.rate);
        if (!session_.ChangeBufferSize(bufferSize))
            Problem("the buffer size change to " + std::to_string(bufferSize) + " failed: " + session_.Failure());
        std::snprintf(what, sizeof(what), "%ld to %ld frames", format.bufferSize, bufferSize);
        break;
    }
    case SoakEvent::SessionReopen: {
        session_.Close();
        SessionFormat format = RandomFormat();
        OpenSession(format);
        std::snprintf(what, sizeof(what), "%.0f Hz, %ld frames, %s", format.rate, format.bufferSize,
                      HabitName(format.habit));
        break;
    }
    case SoakEvent::Count: break;
    }
    return what;
}

void Soak::AwaitAudio(SoakEvent event, const std::string& what, const LONG (&restartsBefore)[int(RestartCause::Count)])
{
    EventRecord& record = result_.events[int(event)];
    ++record.count;
    watch_.AwaitReturnFrom(Now());
    DWORD start = GetTickCount();
    while (!watch_.Returned() && GetTickCount() - start < RecoveryLimitMs) {
        Pump();
        Sleep(5);
    }
    for (int cause = 0; cause < int(RestartCause::Count); ++cause)
        record.restarts[cause] += StreamRestarts[cause] - restartsBefore[cause];
    const SessionFormat& format = session_.Format();
    char session[96];
    std::snprintf(session, sizeof(session), "%.0f Hz, %ld frames, %s", format.rate, format.bufferSize,
                  HabitName(format.habit));
    if (!watch_.Returned()) {
        ++record.notRecovered;
        ++result_.notRecovered;
        Problem(std::string("no audio within 10 s after ") + SoakEventName(event) + " (" + what + "; " + session + ")");
        session_.Close();
        OpenSession(RandomFormat());
        return;
    }
    double recovery = watch_.RecoveryMs();
    record.recoveryMs.push_back(recovery);
    // Frames never sent show here once the check has decided about them: near the
    // event that brought them, or the stretch of streaming before it.
    ULONGLONG corrupt = watch_.CorruptFrames();
    char corruptNote[48] = "";
    if (corrupt != corruptReported_)
        std::snprintf(corruptNote, sizeof(corruptNote), "; %llu frames never sent", corrupt - corruptReported_);
    corruptReported_ = corrupt;
    Progress("%-18s %-48s back after %6.0f ms (%s)%s", SoakEventName(event), what.c_str(), recovery, session,
             corruptNote);
    if (recovery > WorstAllowedRecoveryMs)
        Problem("audio came back only " + std::to_string(long(recovery)) + " ms after " + SoakEventName(event) + " (" +
                what + "; " + session + ")");
}

void Soak::Run()
{
    result_.seed = options_.seed;
    result_.minutes = options_.minutes;
    AttachModule(GetModuleHandleA(nullptr));
    SoakDriverIdentity identity;
    sim::Device qorda8;
    if (!sim::ChosenQorda8(&qorda8)) {
        Problem("KASKADE_SIM_QORDA8 is neither uac1 nor uac2");
        return;
    }
    result_.device = qorda8.service == "usbaudio2" ? "USB Audio 2.0, looped pins" : "USB Audio 1.0, packet pins";
    if (!sim::Install(sim::Machine{{qorda8}})) {
        Problem("the simulated QORDA-8 could not be installed");
        return;
    }
    sim::AnalogueSide side;
    side.inputs = sim::InputSource::Loopback;
    side.loopbackLatencyFrames = LoopbackLatencyFrames;
    sim::SetAnalogueSide(Qorda, side);
    sim::StartDeviceClock();
    sim::GlitchCounters glitchesBefore = sim::Glitches(Qorda);
    LONG restartsBefore[int(RestartCause::Count)];
    for (int cause = 0; cause < int(RestartCause::Count); ++cause) restartsBefore[cause] = StreamRestarts[cause];
    LONG reopensBefore = StreamReopens;
    LONG trimsBefore = TrimmedRenderBlocks;

    // What one session leaves behind for good (the driver's module start, the device
    // tree, the simulator's tables) is there before the growth is measured.
    if (OpenSession({LargestBuffer, 96000, OutputReadyHabit::FromAnotherThread})) Wait(WarmUpMs);
    session_.Close();
    sim::ClearRequestLog();
    std::vector<ULONG_PTR> handles = LastingHandles();
    long long memory = static_cast<long long>(CommittedPrivateBytes() / 1024);

    LONGLONG frequency;
    {
        LARGE_INTEGER value;
        QueryPerformanceFrequency(&value);
        frequency = value.QuadPart;
    }
    LONGLONG end = Now() + LONGLONG(options_.minutes * 60 * double(frequency));
    LONG eventRestarts[int(RestartCause::Count)];
    for (int cause = 0; cause < int(RestartCause::Count); ++cause) eventRestarts[cause] = StreamRestarts[cause];
    OpenSession(RandomFormat());
    AwaitAudio(SoakEvent::SessionReopen, "the first session", eventRestarts);
    while (Now() < end) {
        Wait(DWORD(Between(1500, 4000)));
        auto event = SoakEvent(Between(0, int(SoakEvent::Count) - 1));
        for (int cause = 0; cause < int(RestartCause::Count); ++cause) eventRestarts[cause] = StreamRestarts[cause];
        if (!session_.IsOpen()) OpenSession(RandomFormat());
        std::string description = Apply(event);
        AwaitAudio(event, description, eventRestarts);
    }
    session_.Close();
    Pump();
    sim::ClearRequestLog();
    std::vector<ULONG_PTR> handlesAfter = LastingHandles();
    result_.handleGrowth = long(handlesAfter.size()) - long(handles.size());
    result_.memoryGrowthKiB = static_cast<long long>(CommittedPrivateBytes() / 1024) - memory;
    Progress("handles %lu, private memory %lld KiB at the start", static_cast<unsigned long>(handles.size()), memory);
    for (ULONG_PTR value : handlesAfter)
        if (!std::binary_search(handles.begin(), handles.end(), value))
            Progress("handle 0x%llx (%s) opened during the soak is still open", static_cast<unsigned long long>(value),
                     HandleKind(value).c_str());

    result_.hangs = session_.Hangs();
    result_.longestCall = session_.LongestCall();
    result_.longestCallMs = session_.LongestCallMs();
    result_.corruptFrames = watch_.CorruptFrames();
    result_.framesChecked = watch_.FramesChecked();
    result_.discontinuities = watch_.Discontinuities();
    for (int cause = 0; cause < int(RestartCause::Count); ++cause)
        result_.restarts[cause] = StreamRestarts[cause] - restartsBefore[cause];
    result_.reopens = StreamReopens - reopensBefore;
    result_.trimmedBlocks = TrimmedRenderBlocks - trimsBefore;
    sim::GlitchCounters glitches = sim::Glitches(Qorda);
    result_.starvations = glitches.renderStarvations - glitchesBefore.renderStarvations;
    result_.overruns = glitches.captureOverruns - glitchesBefore.captureOverruns;
    if (result_.hangs != 0)
        Problem(std::to_string(result_.hangs) + " host calls hung (the longest: " + result_.longestCall + ")");
    if (result_.corruptFrames != 0) Problem(std::to_string(result_.corruptFrames) + " frames that the host never sent");

    sim::StopDeviceClock();
    sim::Clear();
    EndModule();
}

}  // namespace

const char* SoakEventName(SoakEvent event)
{
    static const char* const names[] = {
        "unplug",           "clock stall",        "render stall",   "capture stall",   "clock deviation",
        "completion delay", "property failure",   "state failure",  "request failure", "creation failure",
        "rate change",      "buffer size change", "session reopen",
    };
    static_assert(sizeof(names) / sizeof(names[0]) == int(SoakEvent::Count), "a name for every event");
    return names[int(event)];
}

double SoakResult::WorstRecoveryMs() const
{
    double worst = 0;
    for (const EventRecord& record : events)
        for (double recovery : record.recoveryMs) worst = std::max(worst, recovery);
    return worst;
}

SoakResult RunSoak(const SoakOptions& options)
{
    SoakResult result;
    Soak soak(options, result);
    soak.Run();
    return result;
}

void PrintSoakSummary(const SoakResult& result, std::FILE* out)
{
    std::fprintf(out, "\nsoak of %.1f min on the QORDA-8 (%s), seed %llu\n", result.minutes, result.device.c_str(),
                 result.seed);
    std::fprintf(out, "%-18s %6s %12s %10s %9s  %s\n", "event", "count", "back: median", "worst", "not back",
                 "restarts by cause");
    for (int event = 0; event < int(SoakEvent::Count); ++event) {
        const EventRecord& record = result.events[event];
        std::vector<double> recoveries = record.recoveryMs;
        std::sort(recoveries.begin(), recoveries.end());
        double median = recoveries.empty() ? 0 : recoveries[recoveries.size() / 2];
        double worst = recoveries.empty() ? 0 : recoveries.back();
        std::string causes;
        for (int cause = 1; cause < int(RestartCause::Count); ++cause) {
            if (record.restarts[cause] == 0) continue;
            causes += (causes.empty() ? "" : ", ") + std::string(RestartCauseName(RestartCause(cause))) + " " +
                      std::to_string(record.restarts[cause]);
        }
        std::fprintf(out, "%-18s %6u %10.2f s %8.2f s %9u  %s\n", SoakEventName(SoakEvent(event)), record.count,
                     median / 1000, worst / 1000, record.notRecovered, causes.empty() ? "-" : causes.c_str());
    }
    std::string causes;
    for (int cause = 1; cause < int(RestartCause::Count); ++cause) {
        if (result.restarts[cause] == 0) continue;
        causes += (causes.empty() ? "" : ", ") + std::string(RestartCauseName(RestartCause(cause))) + " " +
                  std::to_string(result.restarts[cause]);
    }
    std::fprintf(out, "restarts: %s; pins opened anew %ld times; render blocks trimmed %ld\n",
                 causes.empty() ? "none" : causes.c_str(), result.reopens, result.trimmedBlocks);
    std::fprintf(out, "device glitches: %lu render starvations, %lu capture overruns; %llu frames checked, %u jumps\n",
                 result.starvations, result.overruns, result.framesChecked, result.discontinuities);
    std::fprintf(out, "%u sessions; longest host call %lu ms (%s); worst recovery %.2f s\n", result.sessions,
                 result.longestCallMs, result.longestCall.c_str(), result.WorstRecoveryMs() / 1000);
    std::fprintf(out,
                 "hangs %u, sessions that never recovered %u, corrupted frames outside glitch windows %llu, "
                 "handle growth %ld, memory growth %lld KiB\n",
                 result.hangs, result.notRecovered, result.corruptFrames, result.handleGrowth, result.memoryGrowthKiB);
    for (const std::string& problem : result.problems) std::fprintf(out, "problem: %s\n", problem.c_str());
    std::fflush(out);
}
