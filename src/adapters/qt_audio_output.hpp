// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "ports/services.hpp"

namespace tonfield::adapters {

// Plays files decoded by FFmpeg through Qt Multimedia's default audio output:
// one file, or several mixed in sync.
class QtAudioOutput final : public ports::AudioOutput {
public:
    ports::Made<ports::AudioPlayer> open(const std::filesystem::path& file) override;
    ports::Made<ports::MixPlayer> openMix(const std::vector<std::filesystem::path>& files) override;
};

} // namespace tonfield::adapters
