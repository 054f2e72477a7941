// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "model/result.hpp"

#include <cstddef>
#include <filesystem>
#include <memory>

namespace tonfield::adapters {

// The files a mix is written as.
enum class EncodedFormat {
    wav24, // PCM, 24-bit
    flac,  // 24-bit
    mp3,   // 320 kbit/s
};

// Encodes interleaved float frames into one new file.
class AudioEncoder {
public:
    virtual ~AudioEncoder() = default;
    virtual Result<> write(const float* frames, std::size_t count) = 0;
    // Writes what is buffered and the file's trailer; the file is complete
    // only once this succeeds.
    virtual Result<> finish() = 0;
};

using OpenAudioEncoder = Result<std::unique_ptr<AudioEncoder>> (*)(const std::filesystem::path&,
                                                                   EncodedFormat, int sampleRate,
                                                                   int channels);

// Opens through the same library as the decoder, loaded on first use.
Result<std::unique_ptr<AudioEncoder>> openAudioEncoder(const std::filesystem::path& file,
                                                       EncodedFormat format, int sampleRate,
                                                       int channels);

} // namespace tonfield::adapters
