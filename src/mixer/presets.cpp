// SPDX-License-Identifier: GPL-3.0-or-later

#include "mixer/presets.hpp"

#include <algorithm>
#include <utility>

namespace tonfield::mixer {
namespace {

// Whether a preset leaves a stem of this kind sounding.
bool keeps(Preset preset, StemKind kind)
{
    switch (preset) {
    case Preset::all:
        return true;
    case Preset::accompaniment:
        return kind != StemKind::vocals;
    case Preset::vocalsOnly:
        return kind == StemKind::vocals;
    case Preset::noDrums:
        return kind != StemKind::drums;
    case Preset::noBass:
        return kind != StemKind::bass;
    case Preset::noGuitar:
        return kind != StemKind::guitar;
    case Preset::noPiano:
        return kind != StemKind::piano;
    }
    return true;
}

bool holds(const std::vector<Stem>& stems, StemKind kind)
{
    return std::any_of(stems.begin(), stems.end(),
                       [kind](const Stem& stem) { return stem.kind() == kind; });
}

} // namespace

std::string_view presetLabel(Preset preset)
{
    switch (preset) {
    case Preset::all:
        return "全部";
    case Preset::accompaniment:
        return "伴奏";
    case Preset::vocalsOnly:
        return "清唱";
    case Preset::noDrums:
        return "去掉鼓";
    case Preset::noBass:
        return "去掉贝斯";
    case Preset::noGuitar:
        return "去掉吉他";
    case Preset::noPiano:
        return "去掉钢琴";
    }
    return "";
}

std::vector<Preset> presetsFor(const std::vector<Stem>& stems)
{
    std::vector<Preset> presets{Preset::all, Preset::accompaniment, Preset::vocalsOnly};
    for (const auto& [kind, preset] :
         {std::pair{StemKind::drums, Preset::noDrums}, std::pair{StemKind::bass, Preset::noBass},
          std::pair{StemKind::guitar, Preset::noGuitar},
          std::pair{StemKind::piano, Preset::noPiano}})
        if (holds(stems, kind))
            presets.push_back(preset);
    return presets;
}

std::vector<StripSettings> applyPreset(Preset preset, const std::vector<Stem>& stems)
{
    std::vector<StripSettings> strips;
    strips.reserve(stems.size());
    for (const Stem& stem : stems)
        strips.push_back({.levelDb = 0, .muted = !keeps(preset, stem.kind()), .soloed = false});
    return strips;
}

std::optional<Preset> presetInUse(const std::vector<StripSettings>& strips,
                                  const std::vector<Stem>& stems)
{
    for (const Preset preset : presetsFor(stems))
        if (applyPreset(preset, stems) == strips)
            return preset;
    return std::nullopt;
}

} // namespace tonfield::mixer
