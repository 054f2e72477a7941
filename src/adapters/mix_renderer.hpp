// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "ports/services.hpp"

namespace tonfield::adapters {

// Decodes the stems with FFmpeg, sums them through the bus that playback
// uses (the mix you get is the mix you hear), changes speed and pitch through
// playback's tempo stage, and encodes the result with FFmpeg's own encoders,
// at 44.1 kHz stereo.
class EncodedMixRenderer final : public ports::MixRenderer {
public:
    Result<> render(const ports::MixRender& mix, const std::filesystem::path& file,
                    const std::function<bool(double fraction)>& progress) override;
};

} // namespace tonfield::adapters
