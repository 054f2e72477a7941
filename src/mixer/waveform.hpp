// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tonfield::mixer {

// A stem's overview for its strip: the loudest sample in each of a fixed
// number of equal stretches of the file, from 0 to 1.
class PeakMeter {
public:
    static constexpr std::size_t buckets = 400;

    PeakMeter(std::size_t totalFrames, int channels);
    // Takes in the next interleaved float frames.
    void add(const float* frames, std::size_t count);
    const std::vector<float>& peaks() const { return peaks_; }

private:
    std::size_t framesPerBucket_;
    std::size_t channels_;
    std::size_t seen_ = 0;
    std::vector<float> peaks_;
};

// A stem's overview and its length, so the mixer can show how long the mix
// is before it is first played.
struct Overview {
    std::vector<float> peaks;
    double seconds = 0;

    bool operator==(const Overview&) const = default;
};

// The overview as stored in the cache, and read back: anything but a whole
// overview of values from 0 to 1 with a plausible length reads as none.
std::string encodeOverview(const Overview& overview);
std::optional<Overview> decodeOverview(std::string_view bytes);

// The cache's name for a file's overview: changes when the file's path, size
// or modification time does, so a changed file is measured again.
std::string peaksCacheName(const std::filesystem::path& file, std::uintmax_t size,
                           std::int64_t modifiedNanoseconds);

} // namespace tonfield::mixer
