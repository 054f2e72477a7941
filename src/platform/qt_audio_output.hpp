#pragma once

#include "platform/platform.hpp"

namespace tonfield::platform {

// Plays files decoded by FFmpeg through Qt Multimedia's default audio output.
class QtAudioOutput final : public AudioOutput {
public:
    Made<AudioPlayer> open(const std::filesystem::path& file) override;
};

} // namespace tonfield::platform
