// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

// The sub-commands' arguments, read after the GNU conventions: "--name value"
// or "--name=value" for an option that takes a value, "--name" for a flag,
// "-h"/"--help" anywhere, and "--" ending the options so that a file may be
// named like one.
namespace tonfield::cli {

struct OptionNames {
    std::set<std::string> valued;
    std::set<std::string> flags;
};

struct Arguments {
    std::vector<std::string> positional;
    std::map<std::string, std::string> values;
    std::set<std::string> flags;
    bool help = false;
};

// Reads words (the program's arguments after the sub-command). Returns false
// with the problem in words on a mistake of usage.
bool parseArguments(const std::vector<std::string>& words, const OptionNames& names,
                    Arguments& parsed, std::string& problem);

} // namespace tonfield::cli
