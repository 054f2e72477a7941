#pragma once

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

} // namespace tonfield::mixer
