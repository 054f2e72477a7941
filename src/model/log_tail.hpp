// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

namespace tonfield {

// The last windowBytes bytes of a log as text: invalid or cut UTF-8 sequences
// become U+FFFD and every carriage return a line feed, so progress lines that
// redraw themselves read as separate lines. The file is opened for this one
// read only; a log that cannot be opened reads as "".
std::string readLogTail(const std::filesystem::path& logFile, std::size_t windowBytes);

// The last line of a log's text that holds more than spaces and tabs, without
// those it ends with: what an engine said last, its reason when it failed.
std::string_view lastLogLine(std::string_view logText);

} // namespace tonfield
