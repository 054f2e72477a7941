// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "ports/services.hpp"

#include <atomic>
#include <memory>

namespace tonfield::adapters {

// Measures overviews on Qt's thread pool with the FFmpeg decoder, and keeps
// them in $XDG_CACHE_HOME/Tonfield/waveforms, named after each file's path,
// size and modification time.
class QtWaveforms final : public ports::Waveforms {
public:
    ~QtWaveforms() override;
    void request(const std::filesystem::path& file,
                 std::function<void(mixer::Overview)> ready) override;

private:
    // Tells measurements still running that no one waits for them.
    std::shared_ptr<std::atomic<bool>> abandoned_ = std::make_shared<std::atomic<bool>>(false);
};

} // namespace tonfield::adapters
