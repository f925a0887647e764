#include "driver/engine/conversion/tests/test_pins.h"

#include "driver/engine/conversion/sample_container.h"

TestStream::TestStream(std::uint32_t bufferSize, std::uint32_t outputChannels, std::uint32_t inputChannels,
                       std::uint32_t hostRate)
    : slab(std::size_t{bufferSize} * (SlabRunsForChannels(outputChannels) + SlabRunsForChannels(inputChannels))),
      host{MakeChannelSlabLayout(slab.data(), bufferSize, outputChannels, inputChannels), hostRate, 0, 0}
{
}

TestPin::TestPin(std::uint32_t channels, std::uint32_t bitsPerSample, std::uint32_t sampleRate,
                 std::uint32_t firstSlabChannel, ConversionDirection direction, std::uint32_t slotFrames)
    : history(std::size_t{channels} * HistorySamplesPerChannel), pin{}
{
    const std::uint32_t blockAlign = channels * ContainerBytes(ContainerForBits(bitsPerSample));
    memory.resize(std::size_t{8} * slotFrames * blockAlign);
    pin.channels = channels;
    pin.bitsPerSample = bitsPerSample;
    pin.blockAlign = blockAlign;
    pin.sampleRate = sampleRate;
    pin.firstSlabChannel = firstSlabChannel;
    for (std::size_t slot = 0; slot < 8; ++slot) {
        pin.packetData[slot] = memory.data() + slot * slotFrames * blockAlign;
    }
    pin.converter.history = history.data();
    RestartRateConverter(pin.converter, channels, direction);
}

std::vector<std::pair<const void*, const void*>> FlushRecorder::ranges;

void FlushRecorder::Record(const void* start, const void* end)
{
    ranges.emplace_back(start, end);
}
