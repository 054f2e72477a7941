// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "model/regular_file.hpp"
#include "model/result.hpp"

#include <filesystem>

namespace tonfield {

// Both copies go byte for byte through a temporary file beside the
// destination (model/atomic_file), which takes the destination's name only
// once it is complete: a failed copy (source gone, disk full) leaves no
// partial file behind.
// Failures are the operating system's description after the path concerned:
// the source when it cannot be read, else the destination the caller named.
// A source that is not a regular file (a FIFO, a device) is refused, and so
// is one reached through a symbolic link when `links` says so. The copy's
// permissions are the source's, never wider than rw-r--r--.

// The destination must not exist yet; an existing file there is an error.
Result<> copyFile(const std::filesystem::path& source, const std::filesystem::path& destination,
                  Links links);

// Replaces a file already at the destination only with a complete copy; a
// destination that is a folder is refused.
Result<> replaceWithCopy(const std::filesystem::path& source,
                         const std::filesystem::path& destination, Links links);

} // namespace tonfield
