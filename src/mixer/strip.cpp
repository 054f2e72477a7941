// SPDX-License-Identifier: GPL-3.0-or-later

#include "mixer/strip.hpp"

#include <nlohmann/json.hpp>

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

std::string encodeStrips(const std::vector<StripSettings>& strips)
{
    nlohmann::json array = nlohmann::json::array();
    for (const StripSettings& strip : strips)
        array.push_back({{"levelDb", clampLevel(strip.levelDb)},
                         {"muted", strip.muted},
                         {"soloed", strip.soloed}});
    return array.dump();
}

std::optional<std::vector<StripSettings>> decodeStrips(std::string_view bytes)
{
    const nlohmann::json array = nlohmann::json::parse(bytes, nullptr, false);
    if (!array.is_array())
        return std::nullopt;
    std::vector<StripSettings> strips;
    for (const nlohmann::json& strip : array) {
        if (!strip.is_object() || !strip.contains("levelDb") || !strip["levelDb"].is_number() ||
            !strip.contains("muted") || !strip["muted"].is_boolean() || !strip.contains("soloed") ||
            !strip["soloed"].is_boolean())
            return std::nullopt;
        strips.push_back({.levelDb = clampLevel(strip["levelDb"].get<double>()),
                          .muted = strip["muted"].get<bool>(),
                          .soloed = strip["soloed"].get<bool>()});
    }
    return strips;
}

} // namespace tonfield::mixer
