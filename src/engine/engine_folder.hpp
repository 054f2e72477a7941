// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <filesystem>

// What makes a folder an engine folder: the separation script, run by the
// interpreter of the folder's own virtual environment.
namespace tonfield::engine {

inline constexpr const char* scriptName = "separate_job.py";

inline std::filesystem::path scriptPath(const std::filesystem::path& engineRoot)
{
    return engineRoot / scriptName;
}

inline std::filesystem::path interpreterPath(const std::filesystem::path& engineRoot)
{
    return engineRoot / ".venv/bin/python";
}

// True when the script exists (a file or a folder of that name, as the
// location rule only asks whether the name exists).
bool holdsScript(const std::filesystem::path& engineRoot);

// True when a job can be started: interpreter executable, then script present.
// Asks the file system at every call.
bool isReady(const std::filesystem::path& engineRoot);

} // namespace tonfield::engine
