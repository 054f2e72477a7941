// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tonfield::mixer {

// The level slider runs from silence to +6 dB; at its bottom it is silent.
constexpr double silenceDb = -60;
constexpr double maxLevelDb = 6;

// One stem's strip on the mixing desk.
struct StripSettings {
    double levelDb = 0; // silenceDb or below is silence
    bool muted = false;
    bool soloed = false;

    bool operator==(const StripSettings&) const = default;
};

// A level as the slider allows it, from silenceDb to maxLevelDb.
double clampLevel(double levelDb);

// The amplitude factor of a level: 0 at the slider's bottom.
float linearGain(double levelDb);

// The gain each strip sounds at, by the mixing desk's rule: when any strip is
// soloed only soloed strips sound; a muted strip is silent, soloed or not.
std::vector<float> audibleGains(const std::vector<StripSettings>& strips);

// The strips as a job's mix.json keeps them beside its job.json, and read
// back: anything but an array of well-formed strips reads as none; levels
// are clamped to the slider.
std::string encodeStrips(const std::vector<StripSettings>& strips);
std::optional<std::vector<StripSettings>> decodeStrips(std::string_view bytes);

} // namespace tonfield::mixer
