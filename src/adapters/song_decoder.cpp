// SPDX-License-Identifier: GPL-3.0-or-later

#include "adapters/song_decoder.hpp"

#include "adapters/audio_decoder.hpp"
#include "analysis/job_analysis.hpp"

namespace tonfield::adapters {

Result<std::vector<float>> FfmpegSongDecoder::decodeMono(const std::filesystem::path& file)
{
    auto decoder = openAudioDecoder(
        file, PcmFormat{.sampleRate = analysis::analysisRate, .channels = 1, .floatSamples = true});
    if (!decoder)
        return Result<std::vector<float>>::failed(decoder.failure());
    std::vector<float> samples;
    std::vector<float> block(1 << 16);
    while (const std::size_t bytes = (*decoder)->read(reinterpret_cast<char*>(block.data()),
                                                      block.size() * sizeof(float)))
        samples.insert(samples.end(), block.begin(),
                       block.begin() + static_cast<std::ptrdiff_t>(bytes / sizeof(float)));
    if (samples.empty())
        return Result<std::vector<float>>::failed(file.string() + ": 没有音频内容");
    return samples;
}

} // namespace tonfield::adapters
