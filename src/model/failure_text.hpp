// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <filesystem>
#include <string>
#include <system_error>

namespace tonfield {

// The operating system's description of a failure, after the path it concerns,
// in the usual Unix form: "/home/me/a.mp3: No such file or directory".
inline std::string failureText(const std::filesystem::path& path, std::error_code error)
{
    return path.string() + ": " + error.message();
}

} // namespace tonfield
