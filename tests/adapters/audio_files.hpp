// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

namespace tonfield::test {

// Makes a stereo test tone with the ffmpeg program: a 440 Hz sine on the left,
// 660 Hz on the right. The container and codec follow the file's extension.
inline bool makeTone(const std::filesystem::path& file, double seconds, int rate = 44100)
{
    const std::string command =
        "ffmpeg -nostdin -v error -y -f lavfi -i 'sine=frequency=440:sample_rate=" +
        std::to_string(rate) + ":duration=" + std::to_string(seconds) +
        "' -f lavfi -i 'sine=frequency=660:sample_rate=" + std::to_string(rate) +
        ":duration=" + std::to_string(seconds) +
        "' -filter_complex '[0:a][1:a]join=inputs=2:channel_layout=stereo' '" + file.string() + "'";
    return std::system(command.c_str()) == 0;
}

// Makes a mono rising sweep, whose every stretch of a few milliseconds is
// unlike every other, so an offset between two decodings shows as a lag.
inline bool makeSweep(const std::filesystem::path& file, double seconds)
{
    const std::string command =
        "ffmpeg -nostdin -v error -y -f lavfi -i "
        "'aevalsrc=0.5*sin(2*PI*(100+300*t)*t):sample_rate=44100:duration=" +
        std::to_string(seconds) + "' '" + file.string() + "'";
    return std::system(command.c_str()) == 0;
}

} // namespace tonfield::test
