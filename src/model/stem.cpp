#include "model/stem.hpp"

#include <array>
#include <string_view>
#include <utility>

namespace tonfield {
namespace {

constexpr std::array<std::pair<std::string_view, std::string_view>, 7> stemLabels{{
    {"(Vocals)", "人声"},
    {"(Instrumental)", "伴奏"},
    {"(Drums)", "鼓"},
    {"(Bass)", "贝斯"},
    {"(Guitar)", "吉他"},
    {"(Piano)", "钢琴"},
    {"(Other)", "其他乐器"},
}};

} // namespace

std::string Stem::name() const
{
    const std::string fileName = url.filename().string();
    for (auto [bracketedKey, label] : stemLabels) {
        if (fileName.find(bracketedKey) != std::string::npos)
            return std::string(label);
    }
    return url.stem().string();
}

} // namespace tonfield
