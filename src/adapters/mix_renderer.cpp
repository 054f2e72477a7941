// SPDX-License-Identifier: GPL-3.0-or-later

#include "adapters/mix_renderer.hpp"

#include "adapters/audio_decoder.hpp"
#include "adapters/audio_encoder.hpp"
#include "adapters/tempo_stage.hpp"

#include <algorithm>
#include <optional>

namespace tonfield::adapters {
namespace {

constexpr PcmFormat kMixFormat{.sampleRate = 44100, .channels = 2, .floatSamples = true};
constexpr std::size_t kChunkFrames = 16384;

EncodedFormat encodedFormat(OutputFormat format)
{
    switch (format) {
    case OutputFormat::wav:
        return EncodedFormat::wav24;
    case OutputFormat::flac:
        return EncodedFormat::flac;
    case OutputFormat::mp3:
        return EncodedFormat::mp3;
    }
    return EncodedFormat::wav24;
}

} // namespace

Result<> EncodedMixRenderer::render(const ports::MixRender& mix, const std::filesystem::path& file,
                                    const std::function<bool(double fraction)>& progress)
{
    const EncodedFormat format = encodedFormat(mix.format);
    std::vector<std::unique_ptr<AudioDecoder>> stems;
    double longest = 0;
    for (const auto& stem : mix.stems) {
        auto decoder = openAudioDecoder(stem, kMixFormat);
        if (!decoder)
            return Result<>::failed(decoder.failure());
        longest = std::max(longest, (*decoder)->durationSeconds());
        stems.push_back(std::move(*decoder));
    }
    auto encoder = openAudioEncoder(file, format, kMixFormat.sampleRate, kMixFormat.channels);
    if (!encoder)
        return Result<>::failed(encoder.failure());

    const std::size_t samples = kChunkFrames * kMixFormat.channels;
    std::vector<float> sum(samples), stem(samples), changed(samples);
    // Speed and pitch, when asked for, through the same stage as playback.
    std::unique_ptr<TempoStage> stage;
    if (!mix.tempo.isNeutral()) {
        stage = std::make_unique<TempoStage>(kMixFormat.sampleRate, kMixFormat.channels);
        stage->setTempo(mix.tempo.clamped());
    }
    auto takeOut = [&]() -> Result<> {
        while (const std::size_t ready = std::min(stage->available(), kChunkFrames)) {
            const std::size_t got = stage->retrieve(changed.data(), ready);
            if (auto written = (*encoder)->write(changed.data(), got); !written)
                return written;
        }
        return Result<>::done();
    };
    auto deliver = [&](const float* frames, std::size_t count, bool final) -> Result<> {
        if (!stage)
            return count ? (*encoder)->write(frames, count) : Result<>::done();
        std::size_t offset = 0;
        do {
            const std::size_t take = std::min(count - offset, stage->wanted());
            std::copy_n(frames + offset * kMixFormat.channels, take * kMixFormat.channels,
                        stage->input());
            offset += take;
            stage->process(take, final && offset == count);
            if (auto out = takeOut(); !out)
                return out;
        } while (offset < count);
        return Result<>::done();
    };
    const double totalFrames = std::max(1.0, longest * kMixFormat.sampleRate);
    double framesDone = 0;
    for (;;) {
        std::fill(sum.begin(), sum.end(), 0.0f);
        std::size_t longestRead = 0;
        for (std::size_t i = 0; i < stems.size(); ++i) {
            // A stem that ends early is silence from there on; every stem
            // moves by the same frames, so they stay aligned.
            std::size_t got = 0;
            while (got < samples) {
                const std::size_t bytes = stems[i]->read(reinterpret_cast<char*>(stem.data() + got),
                                                         (samples - got) * sizeof(float));
                if (bytes == 0)
                    break;
                got += bytes / sizeof(float);
            }
            const float gain = i < mix.gains.size() ? mix.gains[i] : 0.0f;
            for (std::size_t n = 0; n < got; ++n)
                sum[n] += gain * stem[n];
            longestRead = std::max(longestRead, got);
        }
        if (longestRead == 0)
            break;
        if (auto written = deliver(sum.data(), longestRead / kMixFormat.channels, false); !written)
            return written;
        framesDone += static_cast<double>(longestRead / kMixFormat.channels);
        if (!progress(std::min(1.0, framesDone / totalFrames)))
            return Result<>::failed("已取消");
    }
    if (auto tail = deliver(sum.data(), 0, true); !tail)
        return tail;
    return (*encoder)->finish();
}

} // namespace tonfield::adapters
