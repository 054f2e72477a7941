// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "model/separation_mode.hpp"

#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace tonfield::engine {

// How the engine is started: an argument vector, never a shell command line.
struct Invocation {
    std::filesystem::path executable;
    std::vector<std::string> arguments;
    std::filesystem::path workingDirectory;
    std::map<std::string, std::string> environment;

    bool operator==(const Invocation&) const = default;
};

// The engine model file that selects a mode's stem set.
std::string_view modelFor(SeparationMode mode);

struct JobSettings {
    SeparationMode mode = SeparationMode::vocal;
    std::string format;
    bool highQuality = false;
};

// The engine's invocation for one job: the folder's own interpreter running
// its script on the input copy, writing into the output folder. The
// application's environment is passed on, with Python's output unbuffered so
// the log follows the run as it happens.
Invocation buildInvocation(const std::filesystem::path& engineRoot,
                           const std::filesystem::path& inputCopy,
                           const std::filesystem::path& outputFolder, const JobSettings& settings,
                           std::map<std::string, std::string> environment);

} // namespace tonfield::engine
