#include "driver/engine/conversion/channel_slab.h"

#include <cstring>

ChannelSlabLayout MakeChannelSlabLayout(std::int32_t* samples, std::uint32_t runLength, std::uint32_t outputChannels,
                                        std::uint32_t inputChannels)
{
    return {samples, runLength, SlabRunsForChannels(outputChannels), SlabRunsForChannels(inputChannels)};
}

std::uint64_t SlabWords(const ChannelSlabLayout& layout)
{
    return std::uint64_t{layout.runLength} * (std::uint64_t{layout.outputRuns} + layout.inputRuns);
}

std::int32_t* OutputRun(const ChannelSlabLayout& layout, std::uint32_t outputChannel)
{
    return layout.samples + std::size_t{outputChannel} * layout.runLength;
}

std::int32_t* InputRun(const ChannelSlabLayout& layout, std::uint32_t inputChannel)
{
    return layout.samples + (std::size_t{layout.outputRuns} + inputChannel) * layout.runLength;
}

bool PinFitsOutputRuns(const ChannelSlabLayout& layout, std::uint32_t firstChannel, std::uint32_t channels)
{
    return channels > 0 && std::uint64_t{firstChannel} + PinRunCount(channels) <= layout.outputRuns;
}

bool PinFitsInputRuns(const ChannelSlabLayout& layout, std::uint32_t firstChannel, std::uint32_t channels)
{
    return channels > 0 && std::uint64_t{firstChannel} + PinRunCount(channels) <= layout.inputRuns;
}

void CopyPadChannel(const ChannelSlabLayout& layout, std::uint32_t firstChannel, std::uint32_t channels)
{
    if ((channels & 1) == 0 || !PinFitsInputRuns(layout, firstChannel, channels)) {
        return;
    }
    const std::int32_t* last = InputRun(layout, firstChannel + channels - 1);
    std::memcpy(InputRun(layout, firstChannel + channels), last, std::size_t{layout.runLength} * sizeof(std::int32_t));
}
