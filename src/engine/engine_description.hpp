// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "model/separation_mode.hpp"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tonfield::engine {

inline constexpr const char* descriptionName = "engine.json";

// What an engine folder (or the template it is made from) says of itself in
// its engine.json:
//   {"name": "Hybrid Demucs", "modes": ["vocal", "four"],
//    "note": "…", "packages": ["python3-torchaudio"]}
// Only "name" and "modes" are required.
struct Description {
    std::string displayName;
    std::vector<SeparationMode> modes; // what it can separate, in the window's order
    std::string note;                  // one line on its speed and quality
    std::vector<std::string> packages; // Debian packages its set-up needs

    bool operator==(const Description&) const = default;
};

// The folder's engine.json; absent when there is none, or when it is not a
// description (damaged, not JSON, a required key missing or of the wrong
// kind, an unknown mode, more than 64 KiB): such a folder reads as a folder
// without one.
std::optional<Description> readDescription(const std::filesystem::path& folder);

// What the engine in the folder can separate: its description's modes, or
// all three for a folder that does not describe itself.
std::vector<SeparationMode> supportedModes(const std::filesystem::path& folder);

} // namespace tonfield::engine
