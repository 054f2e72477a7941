// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "cli/usage.hpp"

// The headless front end: `tonfield separate|history|export|log|help`, on the same
// Workbench and job store as the window, with no window and no display.
namespace tonfield::cli {

// Runs the sub-command in argv[1]; returns the process's exit status: 0 when
// every job ended "done", 1 when any did not or a command failed, 2 for bad
// usage, 130 when interrupted.
int run(int argc, char* argv[]);

} // namespace tonfield::cli
