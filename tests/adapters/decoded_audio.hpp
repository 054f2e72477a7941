// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// A file decoded whole, and how far one decoding is from another: for the
// tests and benchmarks of what the mixer writes.

#include "adapters/audio_decoder.hpp"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <vector>

namespace tonfield::test {

// Every sample of the file as interleaved 44.1 kHz stereo floats; empty when
// it cannot be decoded.
inline std::vector<float> decodedStereo(const std::filesystem::path& file)
{
    auto decoder = adapters::openAudioDecoder(file, {.sampleRate = 44100, .channels = 2});
    if (!decoder)
        return {};
    std::vector<float> chunk(1 << 14), all;
    while (const std::size_t bytes = (*decoder)->read(reinterpret_cast<char*>(chunk.data()),
                                                      chunk.size() * sizeof(float)))
        all.insert(all.end(), chunk.begin(), chunk.begin() + bytes / sizeof(float));
    return all;
}

// How far `heard` is from `expected`, in dB below the expected signal; a
// sample one has and the other lacks counts as an error in full.
inline double errorDb(const std::vector<float>& expected, const std::vector<float>& heard)
{
    double signal = 0, error = 0;
    for (std::size_t i = 0; i < std::max(expected.size(), heard.size()); ++i) {
        const double wanted = i < expected.size() ? expected[i] : 0.0;
        const double got = i < heard.size() ? heard[i] : 0.0;
        signal += wanted * wanted;
        error += (wanted - got) * (wanted - got);
    }
    return 10 * std::log10(std::max(error, 1e-30) / signal);
}

} // namespace tonfield::test
