// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <cerrno>
#include <filesystem>
#include <string>
#include <system_error>

namespace tonfield {

// What a failure of the operating system means, said for the user: in
// Chinese for the failures a user can act on (a full disk, a missing
// permission, a read-only or failing disk), followed by the system's own
// words so that a search or a bug report still finds them
// ("磁盘空间不足（No space left on device）"); any other failure in the
// system's words alone.
std::string systemFailureText(std::error_code error);

// The failure the last system call left in errno.
inline std::error_code lastError()
{
    return {errno, std::generic_category()};
}

// The failure after the path it concerns, in the usual Unix form:
// "/home/me/a.mp3: 磁盘空间不足（No space left on device）".
inline std::string failureText(const std::filesystem::path& path, std::error_code error)
{
    return path.string() + ": " + systemFailureText(error);
}

} // namespace tonfield
