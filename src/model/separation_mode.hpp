// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace tonfield {

// Which separation the user asked for. The case names double as the raw values
// stored in job records.
enum class SeparationMode { vocal, four, six };

inline constexpr std::array<SeparationMode, 3> allSeparationModes{
    SeparationMode::vocal, SeparationMode::four, SeparationMode::six};

std::string_view rawValue(SeparationMode mode);

// Exact, case-sensitive match of a raw value; anything else gives no mode.
std::optional<SeparationMode> separationModeFromRaw(std::string_view raw);

} // namespace tonfield
