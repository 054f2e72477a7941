// SPDX-License-Identifier: GPL-3.0-or-later

#include "adapters/mix_renderer.hpp"

#include "adapters/audio_decoder.hpp"
#include "adapters/audio_encoder.hpp"
#include "adapters/click_decoder.hpp"
#include "adapters/tempo_stage.hpp"
#include "mixer/mix_bus.hpp"

#include <algorithm>
#include <optional>

namespace tonfield::adapters {
namespace {

constexpr PcmFormat kMixFormat{.sampleRate = 44100, .channels = 2, .floatSamples = true};
constexpr std::size_t kChunkFrames = 16384;
constexpr auto kBytesPerFrame = static_cast<std::size_t>(kMixFormat.bytesPerFrame());

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

// One stem for the bus, straight from its decoder: each read is filled
// whole until the stem ends, so only its end leaves a shortfall.
class DecodedStem final : public mixer::FrameSource {
public:
    explicit DecodedStem(std::unique_ptr<AudioDecoder> decoder)
        : decoder_(std::move(decoder))
    {
    }

    std::size_t read(float* frames, std::size_t count) override
    {
        auto* bytes = reinterpret_cast<char*>(frames);
        std::size_t got = 0;
        while (got < count * kBytesPerFrame) {
            const std::size_t more = decoder_->read(bytes + got, count * kBytesPerFrame - got);
            if (more == 0)
                break;
            got += more;
        }
        delivered_ += static_cast<long long>(got / kBytesPerFrame);
        return got / kBytesPerFrame;
    }

    long long deliveredFrames() const { return delivered_; }

private:
    std::unique_ptr<AudioDecoder> decoder_;
    long long delivered_ = 0;
};

} // namespace

Result<> EncodedMixRenderer::render(const ports::MixRender& mix, const std::filesystem::path& file,
                                    const std::function<bool(double fraction)>& progress)
{
    const EncodedFormat format = encodedFormat(mix.format);
    std::vector<std::unique_ptr<DecodedStem>> stems;
    double longest = 0;
    for (const auto& stem : mix.stems) {
        auto decoder = openAudioDecoder(stem, kMixFormat);
        if (!decoder)
            return Result<>::failed(decoder.failure());
        longest = std::max(longest, (*decoder)->durationSeconds());
        stems.push_back(std::make_unique<DecodedStem>(std::move(*decoder)));
    }
    if (mix.click) // as long as the song, so the mix lasts no longer
        stems.push_back(std::make_unique<DecodedStem>(
            std::make_unique<ClickDecoder>(*mix.click, kMixFormat, longest)));
    auto encoder = openAudioEncoder(file, format, kMixFormat.sampleRate, kMixFormat.channels);
    if (!encoder)
        return Result<>::failed(encoder.failure());

    // The bus that sums playback, its gains set from the start: no ramp.
    mixer::MixBus bus(stems.size(), kMixFormat.channels, 1);
    std::vector<float> gains = mix.gains;
    gains.resize(stems.size(), 0.0f); // a stem without a strip is not heard
    bus.setTargets(gains);
    std::vector<mixer::FrameSource*> sources;
    for (const auto& stem : stems)
        sources.push_back(stem.get());

    std::vector<float> sum(kChunkFrames * kMixFormat.channels), changed(sum.size());
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
    // Every stem moves on by the same frames; the mix lasts as long as the
    // longest one delivers.
    auto furthest = [&] {
        long long frames = 0;
        for (const auto& stem : stems)
            frames = std::max(frames, stem->deliveredFrames());
        return frames;
    };
    const double totalFrames = std::max(1.0, longest * kMixFormat.sampleRate);
    for (;;) {
        const long long before = furthest();
        bus.render(sources, sum.data(), kChunkFrames);
        const auto frames = static_cast<std::size_t>(furthest() - before);
        if (frames == 0)
            break;
        if (auto written = deliver(sum.data(), frames, false); !written)
            return written;
        if (!progress(std::min(1.0, static_cast<double>(furthest()) / totalFrames)))
            return Result<>::failed("已取消");
    }
    if (auto tail = deliver(sum.data(), 0, true); !tail)
        return tail;
    return (*encoder)->finish();
}

} // namespace tonfield::adapters
