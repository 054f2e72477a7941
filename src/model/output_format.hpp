// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace tonfield {

// The formats stems and mixes are written in. The raw value ("WAV") is what
// job records store and the engine's --format takes; the extension ("wav")
// names the files.
enum class OutputFormat { wav, flac, mp3 };

inline constexpr std::array<OutputFormat, 3> allOutputFormats{OutputFormat::wav, OutputFormat::flac,
                                                              OutputFormat::mp3};

std::string_view rawValue(OutputFormat format);
std::string_view extension(OutputFormat format);

// Exact, case-sensitive matches; anything else gives no format.
std::optional<OutputFormat> outputFormatFromRaw(std::string_view raw);
std::optional<OutputFormat> outputFormatFromExtension(std::string_view lowercased);

} // namespace tonfield
