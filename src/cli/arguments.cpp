// SPDX-License-Identifier: GPL-3.0-or-later

#include "cli/arguments.hpp"

namespace tonfield::cli {

bool parseArguments(const std::vector<std::string>& words, const OptionNames& names,
                    Arguments& parsed, std::string& problem)
{
    bool options = true;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (!options || word == "-" || !word.starts_with('-')) {
            parsed.positional.push_back(word);
            continue;
        }
        if (word == "--") {
            options = false;
            continue;
        }
        if (word == "-h" || word == "--help") {
            parsed.help = true;
            continue;
        }
        const std::size_t equals = word.find('=');
        const std::string name = word.substr(0, equals);
        if (names.flags.contains(name)) {
            if (equals != std::string::npos) {
                problem = name + " takes no value";
                return false;
            }
            parsed.flags.insert(name);
        } else if (names.valued.contains(name)) {
            if (equals != std::string::npos) {
                parsed.values[name] = word.substr(equals + 1);
            } else if (i + 1 < words.size()) {
                parsed.values[name] = words[++i];
            } else {
                problem = name + " needs a value";
                return false;
            }
        } else {
            problem = "unknown option " + name;
            return false;
        }
    }
    return true;
}

} // namespace tonfield::cli
