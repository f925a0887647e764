#include "driver/engine/restart_causes.h"

volatile LONG StreamRestarts[int(RestartCause::Count)];
volatile LONG StreamReopens;

const char* RestartCauseName(RestartCause cause)
{
    static const char* const names[] = {
        "none",        "stall",           "wait failure",    "timer lag",
        "starvation",  "render overrun",  "capture backlog", "render underrun",
        "run failure", "restart request", "device error",    "pin returned",
    };
    static_assert(sizeof(names) / sizeof(names[0]) == int(RestartCause::Count), "a name for every cause");
    return names[int(cause)];
}

bool RestartReopensPins(RestartCause cause)
{
    switch (cause) {
    case RestartCause::TimerLag:
    case RestartCause::Starvation:
    case RestartCause::RenderOverrun:
    case RestartCause::CaptureBacklog:
    case RestartCause::RenderUnderrun:
    case RestartCause::PinReturned: return false;
    default: return true;
    }
}
