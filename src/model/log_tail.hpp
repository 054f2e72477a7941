// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

namespace tonfield {

// The last windowBytes bytes of a log as text: invalid or cut UTF-8 sequences
// become U+FFFD and every carriage return a line feed, so progress lines that
// redraw themselves read as separate lines. The file is opened for this one
// read only; a log that cannot be opened reads as "".
std::string readLogTail(const std::filesystem::path& logFile, std::size_t windowBytes);

} // namespace tonfield
