// Layout of the ChannelSlab, the block of 32-bit samples shared with the host: one run of
// B samples per channel, all output runs first, then the input runs. Each direction has at
// least two runs, so with no outputs the first input is run 2. A pin's channels occupy
// consecutive runs from its first slab channel; a pin with an odd channel count owns one
// pad run after its last channel.
#pragma once

#include <cstdint>

struct ChannelSlabLayout {
    std::int32_t* samples;
    std::uint32_t runLength;   // B, the active buffer size
    std::uint32_t outputRuns;  // nOut'
    std::uint32_t inputRuns;
};

// Runs of one direction with this many host channels: at least two.
constexpr std::uint32_t SlabRunsForChannels(std::uint32_t channels)
{
    return channels < 2 ? 2 : channels;
}

// Runs a pin owns: its channels and, for an odd count, the pad run.
constexpr std::uint32_t PinRunCount(std::uint32_t channels)
{
    return channels + (channels & 1);
}

ChannelSlabLayout MakeChannelSlabLayout(std::int32_t* samples, std::uint32_t runLength, std::uint32_t outputChannels,
                                        std::uint32_t inputChannels);

// 32-bit words of the whole slab.
std::uint64_t SlabWords(const ChannelSlabLayout& layout);

std::int32_t* OutputRun(const ChannelSlabLayout& layout, std::uint32_t outputChannel);
std::int32_t* InputRun(const ChannelSlabLayout& layout, std::uint32_t inputChannel);

// Whether the runs of a pin with these channels, starting at its first slab channel,
// (pad run included) lie inside the slab.
bool PinFitsOutputRuns(const ChannelSlabLayout& layout, std::uint32_t firstChannel, std::uint32_t channels);
bool PinFitsInputRuns(const ChannelSlabLayout& layout, std::uint32_t firstChannel, std::uint32_t channels);

// After a capture pin with an odd channel count was converted: copies its last channel's
// run into its pad run, so the host sees that channel twice. Other pins are left alone.
void CopyPadChannel(const ChannelSlabLayout& layout, std::uint32_t firstChannel, std::uint32_t channels);
