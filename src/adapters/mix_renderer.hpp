// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "ports/services.hpp"

namespace tonfield::adapters {

// Decodes the stems with FFmpeg, sums them and encodes the sum with FFmpeg's
// own encoders, at 44.1 kHz stereo, as the mixer plays them.
class EncodedMixRenderer final : public ports::MixRenderer {
public:
    Result<> render(const ports::MixRender& mix, const std::filesystem::path& file,
                    const std::function<bool(double fraction)>& progress) override;
};

} // namespace tonfield::adapters
