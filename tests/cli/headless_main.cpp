// SPDX-License-Identifier: GPL-3.0-or-later
// The command line alone, linked as a headless program: the test command
// checks that it pulls in no Qt Widgets.

#include "cli/command_line.hpp"

int main(int argc, char* argv[])
{
    return argc > 1 && tonfield::cli::isCommand(argv[1]) ? tonfield::cli::run(argc, argv) : 2;
}
