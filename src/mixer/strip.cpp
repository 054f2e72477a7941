#include "mixer/strip.hpp"

#include <algorithm>
#include <cmath>

namespace tonfield::mixer {

double clampLevel(double levelDb)
{
    if (std::isnan(levelDb))
        return 0;
    return std::clamp(levelDb, silenceDb, maxLevelDb);
}

float linearGain(double levelDb)
{
    const double level = clampLevel(levelDb);
    if (level <= silenceDb)
        return 0;
    return static_cast<float>(std::pow(10.0, level / 20.0));
}

std::vector<float> audibleGains(const std::vector<StripSettings>& strips)
{
    const bool anySolo = std::any_of(strips.begin(), strips.end(),
                                     [](const StripSettings& strip) { return strip.soloed; });
    std::vector<float> gains;
    gains.reserve(strips.size());
    for (const StripSettings& strip : strips) {
        const bool sounds = !strip.muted && (!anySolo || strip.soloed);
        gains.push_back(sounds ? linearGain(strip.levelDb) : 0.0f);
    }
    return gains;
}

} // namespace tonfield::mixer
