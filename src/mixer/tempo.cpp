// SPDX-License-Identifier: GPL-3.0-or-later

#include "mixer/tempo.hpp"

#include <algorithm>
#include <cmath>

namespace tonfield::mixer {

Tempo Tempo::clamped() const
{
    return {std::isfinite(speed) ? std::clamp(speed, slowest, fastest) : 1.0,
            std::clamp(semitones, lowest, highest)};
}

double Tempo::pitchScale() const
{
    return std::pow(2.0, semitones / 12.0);
}

} // namespace tonfield::mixer
