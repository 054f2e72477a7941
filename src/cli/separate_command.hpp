// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "workbench/workbench.hpp"

#include "cli/arguments.hpp"
#include "cli/headless_services.hpp"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tonfield::cli {

// What `tonfield separate` was asked for besides its files.
struct SeparateOptions {
    std::optional<SeparationMode> mode;
    std::optional<std::string> format;
    bool highQuality = false;
    std::optional<std::filesystem::path> exportFolder;
};

// Reads the options from parsed arguments; false with the problem in words
// when a value is not one the command knows. Needs no engine folder, so a
// mistake is reported as bad usage before any is looked for.
bool readSeparateOptions(const Arguments& arguments, SeparateOptions& options,
                         std::string& problem);

// `tonfield separate`: one job per file, one after another, each as a start
// from the window would run it. Status and progress go to standard error, the
// stems written to standard output. Ctrl+C cancels the running job as the
// stop button does and ends the run with status 130.
int separate(Workbench& workbench, HeadlessServices& services,
             const std::vector<std::string>& files, const SeparateOptions& options);

} // namespace tonfield::cli
