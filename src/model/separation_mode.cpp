// SPDX-License-Identifier: GPL-3.0-or-later

#include "model/separation_mode.hpp"

namespace tonfield {

std::string_view rawValue(SeparationMode mode)
{
    switch (mode) {
    case SeparationMode::vocal:
        return "vocal";
    case SeparationMode::four:
        return "four";
    case SeparationMode::six:
        return "six";
    }
    return "vocal";
}

std::optional<SeparationMode> separationModeFromRaw(std::string_view raw)
{
    for (SeparationMode mode : allSeparationModes) {
        if (rawValue(mode) == raw)
            return mode;
    }
    return std::nullopt;
}

} // namespace tonfield
