// SPDX-License-Identifier: GPL-3.0-or-later

#include "model/stem.hpp"

#include <array>
#include <string_view>

namespace tonfield {
namespace {

struct KnownStem {
    std::string_view bracketedKey;
    std::string_view label;
    StemKind kind;
};

constexpr std::array<KnownStem, 7> knownStems{{
    {"(Vocals)", "人声", StemKind::vocals},
    {"(Instrumental)", "伴奏", StemKind::instrumental},
    {"(Drums)", "鼓", StemKind::drums},
    {"(Bass)", "贝斯", StemKind::bass},
    {"(Guitar)", "吉他", StemKind::guitar},
    {"(Piano)", "钢琴", StemKind::piano},
    {"(Other)", "其他乐器", StemKind::other},
}};

const KnownStem* knownStem(const std::filesystem::path& url)
{
    const std::string fileName = url.filename().string();
    for (const KnownStem& known : knownStems) {
        if (fileName.find(known.bracketedKey) != std::string::npos)
            return &known;
    }
    return nullptr;
}

} // namespace

std::string Stem::name() const
{
    const KnownStem* known = knownStem(url);
    return known ? std::string(known->label) : url.stem().string();
}

StemKind Stem::kind() const
{
    const KnownStem* known = knownStem(url);
    return known ? known->kind : StemKind::unknown;
}

} // namespace tonfield
