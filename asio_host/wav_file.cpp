#include "asio_host/wav_file.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

void PutLittleEndian(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i) out.push_back(std::uint8_t(value >> (8 * i)));
}

void PutTag(std::vector<std::uint8_t>& out, const char* tag)
{
    out.insert(out.end(), tag, tag + 4);
}

}  // namespace

bool WriteWavFile(const std::string& path, const std::vector<std::vector<float>>& channels, unsigned rate,
                  std::string& error)
{
    const std::uint32_t channelCount = std::uint32_t(channels.size());
    const std::size_t frames = channels.empty() ? 0 : channels[0].size();
    const std::uint64_t dataBytes = std::uint64_t(frames) * channelCount * 3;
    if (channelCount == 0 || dataBytes > 0xFFFFFF00u - 36) {
        error = channelCount == 0 ? "no channel to write" : "the recording is too long for a WAV file";
        return false;
    }
    std::vector<std::uint8_t> bytes;
    bytes.reserve(44 + dataBytes);
    PutTag(bytes, "RIFF");
    PutLittleEndian(bytes, std::uint32_t(36 + dataBytes), 4);
    PutTag(bytes, "WAVE");
    PutTag(bytes, "fmt ");
    PutLittleEndian(bytes, 16, 4);
    PutLittleEndian(bytes, 1, 2);  // PCM
    PutLittleEndian(bytes, channelCount, 2);
    PutLittleEndian(bytes, rate, 4);
    PutLittleEndian(bytes, rate * channelCount * 3, 4);
    PutLittleEndian(bytes, channelCount * 3, 2);
    PutLittleEndian(bytes, 24, 2);
    PutTag(bytes, "data");
    PutLittleEndian(bytes, std::uint32_t(dataBytes), 4);
    for (std::size_t frame = 0; frame < frames; ++frame) {
        for (const auto& channel : channels) {
            float sample = std::clamp(channel[frame], -1.0f, 1.0f);
            auto value = std::int32_t(std::lround(sample * 8388607.0f));
            PutLittleEndian(bytes, std::uint32_t(value), 3);
        }
    }
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        error = "cannot create " + path + ": " + std::strerror(errno);
        return false;
    }
    bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    written = (std::fclose(file) == 0) && written;
    if (!written) error = "cannot write " + path;
    return written;
}
