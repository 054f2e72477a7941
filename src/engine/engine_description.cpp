// SPDX-License-Identifier: GPL-3.0-or-later

#include "engine/engine_description.hpp"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <fstream>
#include <iterator>

namespace tonfield::engine {
namespace {

// A description is a few lines; anything larger is not one.
constexpr std::uintmax_t largestDescription = 64 * 1024;

std::optional<std::vector<std::string>> strings(const nlohmann::json& value)
{
    if (!value.is_array())
        return std::nullopt;
    std::vector<std::string> out;
    for (const auto& item : value) {
        if (!item.is_string())
            return std::nullopt;
        out.push_back(item.get<std::string>());
    }
    return out;
}

} // namespace

std::optional<Description> readDescription(const std::filesystem::path& folder)
{
    const std::filesystem::path file = folder / descriptionName;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec) ||
        std::filesystem::file_size(file, ec) > largestDescription || ec)
        return std::nullopt;
    std::ifstream in(file, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const nlohmann::json json = nlohmann::json::parse(text, nullptr, false);
    if (!json.is_object() || !json.contains("name") || !json["name"].is_string() ||
        !json.contains("modes"))
        return std::nullopt;
    Description description;
    description.displayName = json["name"].get<std::string>();
    const auto modes = strings(json["modes"]);
    if (!modes || modes->empty() || description.displayName.empty())
        return std::nullopt;
    for (SeparationMode mode : allSeparationModes) {
        if (std::find(modes->begin(), modes->end(), rawValue(mode)) != modes->end())
            description.modes.push_back(mode);
    }
    if (description.modes.size() != modes->size())
        return std::nullopt; // an unknown or repeated mode
    if (json.contains("note")) {
        if (!json["note"].is_string())
            return std::nullopt;
        description.note = json["note"].get<std::string>();
    }
    if (json.contains("packages")) {
        const auto packages = strings(json["packages"]);
        if (!packages)
            return std::nullopt;
        description.packages = *packages;
    }
    return description;
}

std::vector<SeparationMode> supportedModes(const std::filesystem::path& folder)
{
    if (auto description = readDescription(folder))
        return description->modes;
    return {allSeparationModes.begin(), allSeparationModes.end()};
}

} // namespace tonfield::engine
