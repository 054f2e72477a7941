// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "model/stem.hpp"

#include "mixer/strip.hpp"

#include <optional>
#include <string_view>
#include <vector>

namespace tonfield::mixer {

// Quick settings of every strip at once, shown above the strips.
enum class Preset {
    all,           // "全部": every stem at 0 dB
    accompaniment, // "伴奏": everything but the vocals
    vocalsOnly,    // "清唱": the vocals alone
    noDrums,       // "去掉鼓"
    noBass,        // "去掉贝斯"
    noGuitar,      // "去掉吉他"
    noPiano,       // "去掉钢琴"
};

std::string_view presetLabel(Preset preset);

// The presets a job's stems offer: the first three always, each "去掉…"
// where there is a stem of that kind (drums and bass in the four- and
// six-stem modes, guitar and piano in the six-stem one).
std::vector<Preset> presetsFor(const std::vector<Stem>& stems);

// The strips a preset sets, one per stem in order: the stems it leaves out
// muted, the others at 0 dB; no solo.
std::vector<StripSettings> applyPreset(Preset preset, const std::vector<Stem>& stems);

// The preset the strips are set to, if they match one the stems offer.
std::optional<Preset> presetInUse(const std::vector<StripSettings>& strips,
                                  const std::vector<Stem>& stems);

} // namespace tonfield::mixer
