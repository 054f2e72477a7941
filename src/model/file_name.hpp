// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <filesystem>
#include <string>

namespace tonfield {

// The text after the last "." of the path's last component, in ASCII lower
// case; empty when the name holds no dot. ".wav" and "._x.WAV" both give "wav".
std::string lowercasedExtension(const std::filesystem::path& path);

// What exported files are named after: the recorded file name's last
// component without its extension, or "音轨" when that leaves nothing. A
// record read from an engine folder must never choose where the user's files
// go, so no folder part survives.
std::string exportBaseName(const std::string& recordedFileName);

// Whether the extension is one of the audio types a job accepts (mp3, wav,
// flac, m4a, ogg, aac, aiff, aif, wma; any case).
bool isAcceptedAudioFile(const std::filesystem::path& path);
// What the user reads when a file is not one of them.
inline constexpr const char* unsupportedAudioText = "请选择 MP3、WAV、FLAC、M4A 等音频文件。";

} // namespace tonfield
