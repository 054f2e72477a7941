// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "ports/services.hpp"

namespace tonfield::adapters {

// Songs decoded through the decoding library, loaded on the first use.
// Threading: any thread; each call opens its own decoder.
class FfmpegSongDecoder final : public ports::SongDecoder {
public:
    Result<std::vector<float>> decodeMono(const std::filesystem::path& file) override;
};

} // namespace tonfield::adapters
