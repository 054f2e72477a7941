// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "model/result.hpp"

#include <cstddef>
#include <filesystem>
#include <memory>

namespace tonfield::adapters {

// The sample layout a decoder delivers: interleaved, at a fixed rate.
struct PcmFormat {
    int sampleRate = 44100;
    int channels = 2;         // 1 or 2
    bool floatSamples = true; // 32-bit float, else signed 16-bit

    constexpr int bytesPerFrame() const { return channels * (floatSamples ? 4 : 2); }
};

// One audio file, decoded on demand into PCM of a fixed format.
class AudioDecoder {
public:
    virtual ~AudioDecoder() = default;

    virtual double durationSeconds() const = 0;

    // Fills up to maxBytes (whole frames) and returns how many bytes it wrote;
    // 0 only at the end of the file.
    virtual std::size_t read(char* data, std::size_t maxBytes) = 0;

    // Moves so that the next read starts at `seconds` (clamped to the file).
    virtual void seek(double seconds) = 0;

    // Seconds of audio delivered since the start of the file.
    virtual double positionSeconds() const = 0;
};

// Opens `file` for decoding, or fails with a message that starts with its path.
using OpenAudioDecoder = Result<std::unique_ptr<AudioDecoder>> (*)(const std::filesystem::path&,
                                                                   const PcmFormat&);

// Opens through the decoding library, loaded on the first call: its codec
// libraries, a hundred and more, would otherwise slow every start.
Result<std::unique_ptr<AudioDecoder>> openAudioDecoder(const std::filesystem::path& file,
                                                       const PcmFormat& output);

} // namespace tonfield::adapters
