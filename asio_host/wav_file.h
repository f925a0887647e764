// Recordings as WAV files: 24-bit PCM, channels interleaved, samples clipped to full scale.
#pragma once

#include <string>
#include <vector>

// Writes `channels` (each one channel's samples, all of one length) at `rate`; false
// with `error` set when the file cannot be written whole.
bool WriteWavFile(const std::string& path, const std::vector<std::vector<float>>& channels, unsigned rate,
                  std::string& error);
