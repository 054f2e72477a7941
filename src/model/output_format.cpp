// SPDX-License-Identifier: GPL-3.0-or-later

#include "model/output_format.hpp"

namespace tonfield {

std::string_view rawValue(OutputFormat format)
{
    switch (format) {
    case OutputFormat::wav:
        return "WAV";
    case OutputFormat::flac:
        return "FLAC";
    case OutputFormat::mp3:
        return "MP3";
    }
    return "WAV";
}

std::string_view extension(OutputFormat format)
{
    switch (format) {
    case OutputFormat::wav:
        return "wav";
    case OutputFormat::flac:
        return "flac";
    case OutputFormat::mp3:
        return "mp3";
    }
    return "wav";
}

std::optional<OutputFormat> outputFormatFromRaw(std::string_view raw)
{
    for (OutputFormat format : allOutputFormats) {
        if (rawValue(format) == raw)
            return format;
    }
    return std::nullopt;
}

std::optional<OutputFormat> outputFormatFromExtension(std::string_view lowercased)
{
    for (OutputFormat format : allOutputFormats) {
        if (extension(format) == lowercased)
            return format;
    }
    return std::nullopt;
}

} // namespace tonfield
