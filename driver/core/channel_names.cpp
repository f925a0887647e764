#include "driver/core/channel_names.h"

#include "driver/core/active_pins.h"

namespace {

// "<text> <number>": a display name of 26 characters, a blank, four digits for up to
// MaxHostChannels and the NUL fill the 32 bytes.
void JoinNameAndNumber(const char* text, DWORD number, char* name)
{
    lstrcpynA(name, text, CaptureDisplayNameLength + 1);
    char* end = name + lstrlenA(name);
    *end++ = ' ';
    char digits[10];
    int count = 0;
    do {
        digits[count++] = char('0' + number % 10);
        number /= 10;
    } while (number != 0);
    while (count > 0) *end++ = digits[--count];
    *end = '\0';
}

}  // namespace

void WriteChannelName(bool input, DWORD channel, char* name)
{
    // The latest registered pin that covers the channel names it.
    for (DWORD index = ActivePinCount; index-- > 0;) {
        PinRecord* pin = ActivePins[index].pin;
        if (IsCapturePin(pin) != input) continue;
        if (channel >= pin->conversion.firstSlabChannel &&
            channel < pin->conversion.firstSlabChannel + HostChannelsOf(pin)) {
            JoinNameAndNumber(ActivePins[index].displayName, channel - pin->conversion.firstSlabChannel + 1, name);
            return;
        }
    }
    JoinNameAndNumber("Not Connected", channel + 1, name);
}
