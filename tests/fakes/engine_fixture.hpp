// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "fakes/temp_folder.hpp"

#include <filesystem>

namespace tonfield::test {

// Makes `folder` an engine folder: the script, and optionally an executable
// interpreter at .venv/bin/python.
inline void makeEngineFolder(const std::filesystem::path& folder, bool withInterpreter)
{
    writeFile(folder / "separate_job.py", "print('engine')\n");
    if (withInterpreter) {
        const auto python = folder / ".venv/bin/python";
        writeFile(python, "#!/bin/sh\n");
        std::filesystem::permissions(python, std::filesystem::perms::owner_all);
    }
}

} // namespace tonfield::test
