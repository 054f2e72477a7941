// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <optional>
#include <string>
#include <string_view>

// The command line's help, written once: the window's --help, `tonfield help`
// and each sub-command's --help all print from here.
namespace tonfield::cli {

// Whether a program argument names a sub-command ("help" among them).
bool isCommand(std::string_view word);

// Every sub-command's synopsis, one per line, under "Usage:".
std::string usage();

// One sub-command's synopsis and what its options do; nothing for a word
// that names none.
std::optional<std::string> commandHelp(std::string_view command);

} // namespace tonfield::cli
