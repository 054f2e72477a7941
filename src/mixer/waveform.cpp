// SPDX-License-Identifier: GPL-3.0-or-later

#include "mixer/waveform.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace tonfield::mixer {
namespace {

constexpr std::string_view magic = "TFPEAKS1";

} // namespace

PeakMeter::PeakMeter(std::size_t totalFrames, int channels)
    : framesPerBucket_(std::max<std::size_t>(1, (totalFrames + buckets - 1) / buckets))
    , channels_(static_cast<std::size_t>(std::max(channels, 1)))
    , peaks_(buckets, 0.0f)
{
}

void PeakMeter::add(const float* frames, std::size_t count)
{
    for (std::size_t frame = 0; frame < count; ++frame, ++seen_) {
        // A file longer than declared piles its rest into the last stretch.
        const std::size_t bucket = std::min(seen_ / framesPerBucket_, buckets - 1);
        for (std::size_t channel = 0; channel < channels_; ++channel) {
            const float level = std::min(std::abs(frames[frame * channels_ + channel]), 1.0f);
            peaks_[bucket] = std::max(peaks_[bucket], level);
        }
    }
}

std::string encodePeaks(const std::vector<float>& peaks)
{
    std::string bytes(magic);
    const auto count = static_cast<std::uint32_t>(peaks.size());
    bytes.append(reinterpret_cast<const char*>(&count), sizeof count);
    bytes.append(reinterpret_cast<const char*>(peaks.data()), peaks.size() * sizeof(float));
    return bytes;
}

std::optional<std::vector<float>> decodePeaks(std::string_view bytes)
{
    std::uint32_t count = 0;
    if (bytes.size() < magic.size() + sizeof count || bytes.substr(0, magic.size()) != magic)
        return std::nullopt;
    std::memcpy(&count, bytes.data() + magic.size(), sizeof count);
    const std::string_view body = bytes.substr(magic.size() + sizeof count);
    if (count != PeakMeter::buckets || body.size() != count * sizeof(float))
        return std::nullopt;
    std::vector<float> peaks(count);
    std::memcpy(peaks.data(), body.data(), body.size());
    const bool sane = std::all_of(peaks.begin(), peaks.end(),
                                  [](float peak) { return peak >= 0.0f && peak <= 1.0f; });
    if (!sane) // NaN fails both comparisons
        return std::nullopt;
    return peaks;
}

std::string peaksCacheName(const std::filesystem::path& file, std::uintmax_t size,
                           std::int64_t modifiedNanoseconds)
{
    // FNV-1a over what identifies the file's content well enough.
    std::uint64_t hash = 14695981039346656037ull;
    auto mix = [&hash](std::string_view bytes) {
        for (const char byte : bytes) {
            hash ^= static_cast<unsigned char>(byte);
            hash *= 1099511628211ull;
        }
    };
    mix(file.string());
    mix(std::to_string(size));
    mix(std::to_string(modifiedNanoseconds));
    char name[17];
    std::snprintf(name, sizeof name, "%016llx", static_cast<unsigned long long>(hash));
    return std::string(name) + ".peaks";
}

} // namespace tonfield::mixer
