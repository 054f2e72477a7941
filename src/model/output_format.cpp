// SPDX-License-Identifier: GPL-3.0-or-later

#include "model/output_format.hpp"

#include <algorithm>

namespace tonfield {
namespace {

struct Spelling {
    OutputFormat format;
    std::string_view raw;
    std::string_view extension;
};

constexpr std::array<Spelling, allOutputFormats.size()> kSpellings{{
    {OutputFormat::wav, "WAV", "wav"},
    {OutputFormat::flac, "FLAC", "flac"},
    {OutputFormat::mp3, "MP3", "mp3"},
}};

const Spelling& spellingOf(OutputFormat format)
{
    return *std::find_if(kSpellings.begin(), kSpellings.end(),
                         [&](const Spelling& s) { return s.format == format; });
}

template <class Field> std::optional<OutputFormat> formatWhere(Field field, std::string_view text)
{
    for (const Spelling& spelling : kSpellings) {
        if (spelling.*field == text)
            return spelling.format;
    }
    return std::nullopt;
}

} // namespace

std::string_view rawValue(OutputFormat format)
{
    return spellingOf(format).raw;
}

std::string_view extension(OutputFormat format)
{
    return spellingOf(format).extension;
}

std::optional<OutputFormat> outputFormatFromRaw(std::string_view raw)
{
    return formatWhere(&Spelling::raw, raw);
}

std::optional<OutputFormat> outputFormatFromExtension(std::string_view lowercased)
{
    return formatWhere(&Spelling::extension, lowercased);
}

} // namespace tonfield
