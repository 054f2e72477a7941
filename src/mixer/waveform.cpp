// SPDX-License-Identifier: GPL-3.0-or-later

#include "mixer/waveform.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace tonfield::mixer {
namespace {

constexpr std::string_view magic = "TFPEAKS2"; // 1 had no length: measured again

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

std::string encodeOverview(const Overview& overview)
{
    std::string bytes(magic);
    const auto count = static_cast<std::uint32_t>(overview.peaks.size());
    bytes.append(reinterpret_cast<const char*>(&count), sizeof count);
    bytes.append(reinterpret_cast<const char*>(&overview.seconds), sizeof overview.seconds);
    bytes.append(reinterpret_cast<const char*>(overview.peaks.data()),
                 overview.peaks.size() * sizeof(float));
    return bytes;
}

std::optional<Overview> decodeOverview(std::string_view bytes)
{
    std::uint32_t count = 0;
    Overview overview;
    const std::size_t header = magic.size() + sizeof count + sizeof overview.seconds;
    if (bytes.size() < header || bytes.substr(0, magic.size()) != magic)
        return std::nullopt;
    std::memcpy(&count, bytes.data() + magic.size(), sizeof count);
    std::memcpy(&overview.seconds, bytes.data() + magic.size() + sizeof count,
                sizeof overview.seconds);
    const std::string_view body = bytes.substr(header);
    constexpr double longest = 100 * 3600.0; // more is no stem
    if (count != PeakMeter::buckets || body.size() != count * sizeof(float) ||
        !(overview.seconds >= 0 && overview.seconds <= longest)) // NaN fails both
        return std::nullopt;
    overview.peaks.resize(count);
    std::memcpy(overview.peaks.data(), body.data(), body.size());
    const bool sane = std::all_of(overview.peaks.begin(), overview.peaks.end(),
                                  [](float peak) { return peak >= 0.0f && peak <= 1.0f; });
    if (!sane)
        return std::nullopt;
    return overview;
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
