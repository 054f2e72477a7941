#pragma once

#include "ports/services.hpp"

namespace tonfield::adapters {

// Plays files decoded by FFmpeg through Qt Multimedia's default audio output.
class QtAudioOutput final : public ports::AudioOutput {
public:
    ports::Made<ports::AudioPlayer> open(const std::filesystem::path& file) override;
};

} // namespace tonfield::adapters
